# trxcom.exe, the service as a COM local server (Windows builds only): the
# type library compiled from service/nvtrx.idl by widl, and the resources
# (type library and registry scripts) compiled by windres.
enable_language(RC)

# widl comes with mingw-w64-tools; the system IDL files it imports (oaidl.idl,
# ocidl.idl) and stdole2.tlb come with Wine's development files.
find_program(TRX_WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)
find_path(TRX_WIDL_IDL_DIR oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows /usr/x86_64-w64-mingw32/include
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(TRX_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# trx_widl(OUTPUT FLAG WHAT): runs widl on service/nvtrx.idl with FLAG (-t
# for the type library, -h for C++ declarations) into OUTPUT.
function(trx_widl output flag what)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${TRX_WIDL} --win64 -I ${TRX_WIDL_IDL_DIR} -L ${TRX_STDOLE2_DIR} ${flag} -o ${output}
            ${PROJECT_SOURCE_DIR}/service/nvtrx.idl
    DEPENDS ${PROJECT_SOURCE_DIR}/service/nvtrx.idl
    COMMENT "widl: ${what} from service/nvtrx.idl"
    VERBATIM)
endfunction()

set(TRX_TLB ${CMAKE_CURRENT_BINARY_DIR}/service/nvtrx.tlb)
trx_widl(${TRX_TLB} -t "type library")
add_custom_target(trxcom_tlb DEPENDS ${TRX_TLB})

add_executable(trxcom WIN32
  ${CMAKE_CURRENT_SOURCE_DIR}/service/nvtrxmain.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/service/nvtrx.rc)
add_dependencies(trxcom trxcom_tlb)
# windres looks for the files the .rc names on its include path.
target_include_directories(trxcom PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/service ${CMAKE_CURRENT_SOURCE_DIR}/service)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/service/nvtrx.rc PROPERTIES
  OBJECT_DEPENDS "${TRX_TLB};${CMAKE_CURRENT_SOURCE_DIR}/service/nvtrx.rgs;${CMAKE_CURRENT_SOURCE_DIR}/service/nvtrxappid.rgs")
target_link_libraries(trxcom PRIVATE trxcore trxplatform trx_warnings)
# wWinMain; one file with no MinGW runtime DLLs to ship beside it.
target_link_options(trxcom PRIVATE -municode -static)
add_subdirectory(tests/wine)
