# Prints the zlib a driver image was built with: the version deflate.c
# compiled into the library, and the Debian source package it came from.
file(STRINGS ${LIBRARY} Banner REGEX "deflate [0-9.]+ Copyright" LIMIT_COUNT 1)
string(REGEX MATCH "deflate ([0-9.]+) Copyright" Banner "${Banner}")
set(Version ${CMAKE_MATCH_1})
file(STRINGS ${SOURCE}/debian/changelog Package LIMIT_COUNT 1)
string(REGEX MATCH "\\(([^)]+)\\)" Package "${Package}")
message(STATUS "zlib ${Version}: compiled into ${IMAGE} from Debian's source package zlib ${CMAKE_MATCH_1}")
