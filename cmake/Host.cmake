# Both images' sources built for the host, with the fake firmware in place of
# the entry frame and port I/O: the unit tests, the sanitizer builds, the fuzz
# targets and the benchmark all link one of these.
#   vistrel_host_library(Name [COMPILE flags...] [LINK flags...])
function(vistrel_host_library Name)
  cmake_parse_arguments(PARSE_ARGV 1 HOST "" "" "COMPILE;LINK")
  list(TRANSFORM VISTREL_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE _sources)
  add_library(${Name} STATIC
    ${_sources}
    ${PROJECT_SOURCE_DIR}/platform/HostGuids.cpp
    ${PROJECT_SOURCE_DIR}/tests/fake/FakeFirmware.cpp
    ${PROJECT_SOURCE_DIR}/tests/fake/FakeImages.cpp
    ${PROJECT_SOURCE_DIR}/tests/fake/FakeForms.cpp)
  target_compile_options(${Name} PUBLIC ${VISTREL_COMMON_FLAGS} ${HOST_COMPILE})
  vistrel_efi_headers(${Name} PUBLIC)
  target_link_options(${Name} PUBLIC ${HOST_LINK})
  vistrel_zlib(${Name}_zlib ${HOST_COMPILE})
  vistrel_use_zlib(${Name})
  target_link_libraries(${Name} PUBLIC ${Name}_zlib)
endfunction()
