# Fails when a source file includes a header of a higher layer. The layers,
# from the bottom up, are those of docs/architecture.md; a file's layer is
# the first entry below whose path prefix it has.
#   cmake -DSOURCE_DIR=<repository> -P cmake/TrxLayerCheck.cmake
set(prefix_rank)
set(rank 0)
foreach(entry "platform/" "log/" "model/nvtrxhost|model/nvtrxarray|model/nvtrxvalues|model/nvtrxrequestargs"
        "descriptors/" "model/" "objects/" "service/" "host/" "cli/")
  string(REPLACE "|" ";" prefixes "${entry}")
  foreach(prefix IN LISTS prefixes)
    list(APPEND prefix_rank "${prefix}=${rank}")
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()

macro(rank_of path out)
  set(${out} -1)
  foreach(pair IN LISTS prefix_rank)
    string(REPLACE "=" ";" parts "${pair}")
    list(GET parts 0 prefix)
    list(GET parts 1 value)
    string(FIND "${path}" "${prefix}" at)
    if(at EQUAL 0)
      set(${out} ${value})
      break()
    endif()
  endforeach()
endmacro()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
  "${SOURCE_DIR}/platform/*.h" "${SOURCE_DIR}/platform/*.cpp"
  "${SOURCE_DIR}/log/*.h" "${SOURCE_DIR}/log/*.cpp"
  "${SOURCE_DIR}/model/*.h" "${SOURCE_DIR}/model/*.cpp"
  "${SOURCE_DIR}/descriptors/*.h" "${SOURCE_DIR}/descriptors/*.cpp"
  "${SOURCE_DIR}/objects/*.h" "${SOURCE_DIR}/objects/*.cpp"
  "${SOURCE_DIR}/service/*.h" "${SOURCE_DIR}/service/*.cpp"
  "${SOURCE_DIR}/host/*.h" "${SOURCE_DIR}/host/*.cpp"
  "${SOURCE_DIR}/cli/*.h" "${SOURCE_DIR}/cli/*.cpp")
set(violations 0)
foreach(source IN LISTS sources)
  rank_of("${source}" own)
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    rank_of("${header}" theirs)
    if(theirs GREATER own)
      message(SEND_ERROR "${source} includes ${header}, a header of a higher layer")
      math(EXPR violations "${violations} + 1")
    endif()
  endforeach()
endforeach()
list(LENGTH sources count)
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} upward includes in ${count} files")
endif()
message(STATUS "layers: ${count} files, no upward include")
