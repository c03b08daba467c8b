# The fuzz configuration (QX_FUZZ, preset "fuzz"): clang++ with libFuzzer's coverage
# instrumentation and the address and undefined-behaviour sanitizers on every library of
# ours; the fuzz targets alone link libFuzzer's main (fuzz/CMakeLists.txt).
#
# Clang knows no execution character set but UTF-8, and our literals must be Shift-JIS at
# run time as g++ -fexec-charset=CP932 makes them. So this configuration compiles a mirror
# of the sources (QX_CODE_ROOT, in the build directory) whose literals carry their CP932
# bytes as octal escapes (fuzz/cp932_escape.cpp); g++ compiles the mirror to the same
# assembly as the originals. The mirror is brought up to date at every configure, and a
# changed source makes the build configure again.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QX_FUZZ needs clang++ (libFuzzer); this is ${CMAKE_CXX_COMPILER_ID}")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)

set(QX_CODE_ROOT ${CMAKE_BINARY_DIR}/cp932-src)
set(qx_escape_tool ${CMAKE_BINARY_DIR}/cp932-escape)
set(qx_escape_source ${CMAKE_CURRENT_LIST_DIR}/cp932_escape.cpp)
if(NOT EXISTS ${qx_escape_tool} OR ${qx_escape_source} IS_NEWER_THAN ${qx_escape_tool})
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -O1 -o ${qx_escape_tool} ${qx_escape_source}
    RESULT_VARIABLE qx_escape_result ERROR_VARIABLE qx_escape_error)
  if(NOT qx_escape_result EQUAL 0)
    message(FATAL_ERROR "building cp932-escape failed:\n${qx_escape_error}")
  endif()
endif()

file(GLOB_RECURSE qx_mirrored RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/app/*.h
  ${CMAKE_SOURCE_DIR}/remove/*.cpp ${CMAKE_SOURCE_DIR}/remove/*.h
  ${CMAKE_SOURCE_DIR}/printers/*.cpp ${CMAKE_SOURCE_DIR}/printers/*.h
  ${CMAKE_SOURCE_DIR}/companions/*.cpp ${CMAKE_SOURCE_DIR}/companions/*.h
  ${CMAKE_SOURCE_DIR}/platform/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.h
  ${CMAKE_SOURCE_DIR}/resources/*.h
  ${CMAKE_SOURCE_DIR}/tests/support/*.cpp ${CMAKE_SOURCE_DIR}/tests/support/*.h
  ${CMAKE_SOURCE_DIR}/fuzz/*.cpp ${CMAKE_SOURCE_DIR}/fuzz/*.h)
list(FILTER qx_mirrored EXCLUDE REGEX "(^|/)win32/")
execute_process(
  COMMAND ${qx_escape_tool} ${CMAKE_SOURCE_DIR} ${QX_CODE_ROOT} ${qx_mirrored}
  RESULT_VARIABLE qx_escape_result ERROR_VARIABLE qx_escape_error)
if(NOT qx_escape_result EQUAL 0)
  message(FATAL_ERROR "mirroring the sources in CP932 failed:\n${qx_escape_error}")
endif()
list(TRANSFORM qx_mirrored PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE qx_mirrored_sources)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${qx_mirrored_sources} ${qx_escape_source})

# A target of the tree compiles the mirror's copy of each of its sources.
function(qx_use_mirror target)
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  string(LENGTH "${CMAKE_SOURCE_DIR}/" prefix_length)
  set(mirrored)
  foreach(source IN LISTS sources)
    if(NOT IS_ABSOLUTE "${source}")
      set(source "${source_dir}/${source}")
    endif()
    string(FIND "${source}" "${CMAKE_SOURCE_DIR}/" at)
    if(at EQUAL 0)
      string(SUBSTRING "${source}" ${prefix_length} -1 relative)
      set(source "${QX_CODE_ROOT}/${relative}")
    endif()
    list(APPEND mirrored "${source}")
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${mirrored})
endfunction()
