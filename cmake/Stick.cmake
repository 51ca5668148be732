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
