# The object definitions catalogue, compiled into trxcore.
#
# Included from the top-level CMakeLists: a build step turns
# descriptors/nvtrxobjectdefinitions.xml into a generated source that holds
# its bytes, and runs again whenever the XML changes. The step runs this same
# file as a script (cmake -P) with INPUT and OUTPUT set.

if(CMAKE_SCRIPT_MODE_FILE)
  if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT)
    message(FATAL_ERROR "Catalogue.cmake: INPUT and OUTPUT must be set")
  endif()
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  # 32 bytes to a line.
  string(REPEAT "." 64 line_pattern)
  string(REGEX REPLACE "(${line_pattern})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPLACE "\n" "\n  " bytes "${bytes}")
  get_filename_component(source_name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}"
    "// Generated from ${source_name} by descriptors/Catalogue.cmake. Do not edit.\n"
    "#include <cstddef>\n\n"
    "extern const unsigned char g_trxObjectDefinitionsXml[];\n"
    "extern const std::size_t g_trxObjectDefinitionsXmlSize;\n\n"
    "const unsigned char g_trxObjectDefinitionsXml[] = {\n  ${bytes}0x00};\n"
    "const std::size_t g_trxObjectDefinitionsXmlSize = ${size};\n")
  return()
endif()

set(TRX_CATALOGUE_XML ${CMAKE_CURRENT_LIST_DIR}/nvtrxobjectdefinitions.xml)
set(TRX_CATALOGUE_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/generated/nvtrxobjectdefinitions_xml.cpp)
add_custom_command(
  OUTPUT ${TRX_CATALOGUE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${TRX_CATALOGUE_XML} -DOUTPUT=${TRX_CATALOGUE_SOURCE}
          -P ${CMAKE_CURRENT_LIST_DIR}/Catalogue.cmake
  DEPENDS ${TRX_CATALOGUE_XML} ${CMAKE_CURRENT_LIST_DIR}/Catalogue.cmake
  COMMENT "Embedding the object definitions catalogue"
  VERBATIM)
target_sources(trxcore PRIVATE ${TRX_CATALOGUE_SOURCE})
