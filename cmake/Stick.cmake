# The USB stick, from every architecture's images: build/vistrel-stick.img to
# write to a stick as it is, and build/vistrel-<version>.zip of the same files
# (scripts/make-stick.py). Part of every build; `make stick` asks for it alone.
file(STRINGS ${PROJECT_SOURCE_DIR}/image/PngText.h _version REGEX "#define VISTREL_VERSION ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" VISTREL_VERSION "${_version}")
set(VISTREL_STICK_IMAGE ${PROJECT_BINARY_DIR}/vistrel-stick.img)
set(VISTREL_STICK_ZIP ${PROJECT_BINARY_DIR}/vistrel-${VISTREL_VERSION}.zip)
add_custom_target(vistrel_stick ALL
  COMMAND ${VISTREL_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/make-stick.py ${PROJECT_BINARY_DIR}
          --image ${VISTREL_STICK_IMAGE} --zip ${VISTREL_STICK_ZIP}
  DEPENDS vistrel_images_x64 vistrel_images_aa64 vistrel_images_ia32
  BYPRODUCTS ${VISTREL_STICK_IMAGE} ${VISTREL_STICK_ZIP}
  VERBATIM)

# The release files, build/dist/: the stick's image gzipped, the zip and
# SHA256SUMS (scripts/make-release.py). Part of every build, so that
# release.reproducible compares them too; `make release` copies them to dist/.
# The folder is made afresh: no file of an earlier version stays beside them.
set(VISTREL_RELEASE_DIR ${PROJECT_BINARY_DIR}/dist)
set(VISTREL_RELEASE_FILES vistrel-stick-${VISTREL_VERSION}.img.gz vistrel-${VISTREL_VERSION}.zip SHA256SUMS)
list(TRANSFORM VISTREL_RELEASE_FILES PREPEND ${VISTREL_RELEASE_DIR}/ OUTPUT_VARIABLE _release_paths)
add_custom_target(vistrel_release ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VISTREL_RELEASE_DIR}
  COMMAND ${VISTREL_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/make-release.py ${PROJECT_BINARY_DIR}
          ${VISTREL_RELEASE_DIR}
  DEPENDS vistrel_stick
  BYPRODUCTS ${_release_paths}
  VERBATIM)
