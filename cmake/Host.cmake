# The fake firmware: every source in tests/fake, so that a new one is listed
# nowhere else.
file(GLOB VISTREL_FAKE_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/fake/*.cpp)

# The fake firmware as the object library Name, compiled with the flags given:
# a sanitizer's where the code it runs under has one. Built only for what
# links it.
function(vistrel_fake_library Name)
  add_library(${Name} OBJECT EXCLUDE_FROM_ALL ${VISTREL_FAKE_SOURCES})
  target_compile_options(${Name} PRIVATE ${VISTREL_COMMON_FLAGS} ${ARGN})
  vistrel_efi_headers(${Name} PUBLIC)
endfunction()

# Both images' sources built for the host, with the fake firmware in place of
# the entry frame and port I/O: the unit tests, the sanitizer builds, the fuzz
# targets and the benchmark all link one of these. FAKE names a fake firmware
# library to link (by default one of its own, compiled with the COMPILE
# flags); WITHOUT leaves sources out, for a program that compiles them its own
# way.
#   vistrel_host_library(Name [FAKE library] [WITHOUT sources...] [COMPILE flags...] [LINK flags...])
function(vistrel_host_library Name)
  cmake_parse_arguments(PARSE_ARGV 1 HOST "" "FAKE" "WITHOUT;COMPILE;LINK")
  set(_sources ${VISTREL_SOURCES})
  if(HOST_WITHOUT)
    list(REMOVE_ITEM _sources ${HOST_WITHOUT})
  endif()
  list(TRANSFORM _sources PREPEND ${PROJECT_SOURCE_DIR}/)
  if(NOT HOST_FAKE)
    set(HOST_FAKE ${Name}_fake)
    vistrel_fake_library(${HOST_FAKE} ${HOST_COMPILE})
  endif()
  add_library(${Name} STATIC ${_sources} ${PROJECT_SOURCE_DIR}/platform/HostGuids.cpp)
  target_compile_options(${Name} PUBLIC ${VISTREL_COMMON_FLAGS} ${HOST_COMPILE})
  vistrel_efi_headers(${Name} PUBLIC)
  target_link_options(${Name} PUBLIC ${HOST_LINK})
  vistrel_zlib(${Name}_zlib ${HOST_COMPILE})
  vistrel_use_zlib(${Name})
  # An object library: its objects go into this archive, beside the code that
  # calls them and that they call.
  target_link_libraries(${Name} PUBLIC ${HOST_FAKE} ${Name}_zlib)
endfunction()
