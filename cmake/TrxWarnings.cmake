# Warnings are errors everywhere in our own code.
add_library(trx_warnings INTERFACE)
target_compile_options(trx_warnings INTERFACE -Wall -Wextra -Werror)
