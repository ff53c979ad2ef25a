# Unit tests built for Windows (run under Wine on Linux by
# scripts/wine-unit-tests.sh): the test sources that exercise what the
# Windows build puts behind a seam, and the core's own unit tests, with
# GoogleTest compiled from source by the same cross compiler.
option(TRX_BUILD_WINDOWS_TESTS "Build the Windows unit test programs (*_tests.exe)" ON)
set(TRX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source tree, for the Windows tests")

if(TRX_BUILD_WINDOWS_TESTS AND NOT EXISTS ${TRX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  # trxcom.exe still builds; only the test programs are left out.
  message(WARNING "No GoogleTest sources in ${TRX_GOOGLETEST_SOURCE_DIR} (Debian package googletest): "
                  "the Windows test programs are not built. Set TRX_GOOGLETEST_SOURCE_DIR, or "
                  "TRX_BUILD_WINDOWS_TESTS=OFF to silence this.")
elseif(TRX_BUILD_WINDOWS_TESTS)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TRX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # mingw-w64's win32 thread model has no std::mutex, on which GoogleTest
  # builds its Notification: a Win32 one is put in its place.
  target_compile_options(gtest PUBLIC -include ${PROJECT_SOURCE_DIR}/tests/windows/trxgtestmingw.h)

  # trx_windows_test(NAME SOURCES...): a GoogleTest program linked as one
  # file that runs without the MinGW runtime DLLs beside it.
  function(trx_windows_test name)
    add_executable(${name} ${ARGN})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE trxcore trxplatform trx_warnings gtest gtest_main)
    target_link_options(${name} PRIVATE -static)
  endfunction()

  # The XML seam's contract test against the MSXML backend, and the
  # backend's own tests of COM's threads and of the compiled-in catalogue.
  # trxcomtestenvironment.cpp initialises COM on the test thread.
  trx_windows_test(xml_tests
    ${PROJECT_SOURCE_DIR}/tests/core/nvtrxxml_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/windows/nvtrxxml_com_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/windows/trxcomtestenvironment.cpp)

  # The core's unit tests on the real Win32, COM and OLE Automation: every
  # test source of tests/core but the XML seam's (already in xml_tests), with
  # the support files they share with the Linux build.
  file(GLOB TRX_CORE_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/core/*.cpp)
  list(FILTER TRX_CORE_TEST_SOURCES EXCLUDE REGEX "/nvtrxxml_test\\.cpp$")
  trx_windows_test(core_tests
    ${TRX_CORE_TEST_SOURCES}
    ${PROJECT_SOURCE_DIR}/tests/support/trxfakehost.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/trxtestlog.cpp
    ${PROJECT_SOURCE_DIR}/tests/windows/trxcomtestenvironment.cpp)
endif()
