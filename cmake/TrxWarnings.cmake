# Warnings are errors everywhere in our own code.
add_library(trx_warnings INTERFACE)
target_compile_options(trx_warnings INTERFACE -Wall -Wextra -Werror)
# GCC 12 at -O3 reports a false -Wrestrict inside std::string's own inline
# code (GCC bug 105329); the mingw-w64 cross build is that compiler.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(trx_warnings INTERFACE -Wno-restrict)
endif()
