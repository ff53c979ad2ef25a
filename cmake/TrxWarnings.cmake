# Warnings in our own code. The presets and CI make them errors; a plain
# build of any type only reports them, so that a newer or older compiler's
# false positives never stop a user's build.
option(TRX_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
add_library(trx_warnings INTERFACE)
target_compile_options(trx_warnings INTERFACE -Wall -Wextra)
if(TRX_WARNINGS_AS_ERRORS)
  target_compile_options(trx_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports a false -Wrestrict inside std::string's own inline
# code (GCC bug 105329); the mingw-w64 cross build is that compiler.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(trx_warnings INTERFACE -Wno-restrict)
endif()
