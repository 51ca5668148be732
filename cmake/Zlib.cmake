# zlib's deflate side, compiled from Debian's source package, which
# scripts/fetch-zlib.sh (part of `make deps`) puts in deps/zlib: for the
# driver image with the image's own flags, and for the host with the host
# build's, so the tests run the code the image runs. Z_SOLO builds it without
# a C library (allocation comes through the stream's hooks); Z_PREFIX renames
# its symbols, so they never bind to, or stand in for, a system libz in a host
# program that links both.
set(VISTREL_ZLIB_DIR ${PROJECT_SOURCE_DIR}/deps/zlib)
if(NOT EXISTS ${VISTREL_ZLIB_DIR}/deflate.c)
  message(FATAL_ERROR "zlib's source is missing from ${VISTREL_ZLIB_DIR}: run `make deps` (scripts/install-deps.sh)")
endif()
set(VISTREL_ZLIB_SOURCES deflate.c trees.c adler32.c crc32.c zutil.c)
list(TRANSFORM VISTREL_ZLIB_SOURCES PREPEND ${VISTREL_ZLIB_DIR}/)
set(VISTREL_ZLIB_DEFINES Z_SOLO Z_PREFIX)

# zlib as the static library Name, compiled with the flags given. Those that
# use it add VISTREL_ZLIB_DIR and VISTREL_ZLIB_DEFINES themselves, privately:
# a host test that includes Debian's <zlib.h> must get Debian's.
function(vistrel_zlib Name)
  add_library(${Name} STATIC ${VISTREL_ZLIB_SOURCES})
  target_compile_options(${Name} PRIVATE ${ARGN})
  target_compile_definitions(${Name} PRIVATE ${VISTREL_ZLIB_DEFINES})
endfunction()

# Adds zlib's header and switches to Target's own sources.
function(vistrel_use_zlib Target)
  target_compile_definitions(${Target} PRIVATE ${VISTREL_ZLIB_DEFINES})
  target_include_directories(${Target} PRIVATE ${VISTREL_ZLIB_DIR})
endfunction()
