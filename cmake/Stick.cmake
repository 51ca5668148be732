# The USB stick, from every architecture's images: build/vistrel-stick.img to
# write to a stick as it is, and build/vistrel-<version>.zip of the same files
# (scripts/make-stick.py), with build/vistrel-stick.json, the tree both hold,
# for the stick's test. Part of every build; `make stick` asks for it alone.
set(VISTREL_STICK_IMAGE ${PROJECT_BINARY_DIR}/vistrel-stick.img)
set(VISTREL_STICK_ZIP ${PROJECT_BINARY_DIR}/vistrel-${PROJECT_VERSION}.zip)
set(VISTREL_STICK_MANIFEST ${PROJECT_BINARY_DIR}/vistrel-stick.json)
set(_stick ${VISTREL_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/make-stick.py
    --version ${PROJECT_VERSION} --release-date ${VISTREL_RELEASE_DATE})
foreach(_arch ${VISTREL_ARCHITECTURES})
  list(APPEND _stick --architecture ${_arch} ${VISTREL_BOOT_FILE_${_arch}} ${VISTREL_IMAGE_DIR_${_arch}})
endforeach()
add_custom_target(vistrel_stick ALL
  COMMAND ${_stick} --image ${VISTREL_STICK_IMAGE} --zip ${VISTREL_STICK_ZIP}
          --manifest ${VISTREL_STICK_MANIFEST}
  DEPENDS vistrel_images_x64 vistrel_images_aa64 vistrel_images_ia32
  BYPRODUCTS ${VISTREL_STICK_IMAGE} ${VISTREL_STICK_ZIP} ${VISTREL_STICK_MANIFEST}
  VERBATIM)
# The same stick of the images `make sign` signed: `make stick KEY=... CERT=...`.
add_custom_target(vistrel_stick_signed
  COMMAND ${_stick} --signed --image ${PROJECT_BINARY_DIR}/vistrel-stick-signed.img
  VERBATIM)

# The release files, build/dist/: the stick's image gzipped, the zip and
# SHA256SUMS (scripts/make-release.py). Part of every build, so that
# release.reproducible compares them too; `make release` copies them to dist/.
# The folder is made afresh: no file of an earlier version stays beside them.
set(VISTREL_RELEASE_DIR ${PROJECT_BINARY_DIR}/dist)
set(VISTREL_RELEASE_FILES vistrel-stick-${PROJECT_VERSION}.img.gz vistrel-${PROJECT_VERSION}.zip SHA256SUMS)
list(TRANSFORM VISTREL_RELEASE_FILES PREPEND ${VISTREL_RELEASE_DIR}/ OUTPUT_VARIABLE _release_paths)
add_custom_target(vistrel_release ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VISTREL_RELEASE_DIR}
  COMMAND ${VISTREL_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/make-release.py ${PROJECT_BINARY_DIR}
          ${VISTREL_RELEASE_DIR} ${PROJECT_VERSION}
  DEPENDS vistrel_stick
  BYPRODUCTS ${_release_paths}
  VERBATIM)
