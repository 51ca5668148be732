# vistrel.efi, vistrel-hotkey.efi, vistrel-launcher.efi and vistrel-forms.efi for VISTREL_ARCH
# (build/ for x86-64, build/<arch>/ for the others): the sources compiled
# freestanding for UEFI, linked with gnu-efi's start-up code and libraries,
# and turned into PE applications and a boot-service driver (PE32+, or PE32
# on IA32).

set(VISTREL_TARGET_FLAGS
  ${VISTREL_COMMON_FLAGS}
  -ffreestanding -fpic -fshort-wchar ${VISTREL_ARCH_FLAGS} -fno-stack-protector
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-threadsafe-statics
  -fno-use-cxa-atexit -nostdinc++ -O2 -Wshadow -Wconversion
)
# The image must not depend on where the tree was checked out or built: no
# absolute source paths in anything __FILE__ or debug information could carry.
set(VISTREL_REPRODUCIBLE_FLAGS -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)

# zlib for the driver: freestanding, position-independent code with the
# architecture's own flags (no red zone, general registers only, ...) and no
# stack protector, as the image's C++ sources.
set(VISTREL_TARGET_C_FLAGS
  -std=gnu11 -O2 -ffreestanding -fpic -fshort-wchar ${VISTREL_ARCH_FLAGS} -fno-stack-protector
  -fno-asynchronous-unwind-tables -fno-unwind-tables ${VISTREL_REPRODUCIBLE_FLAGS}
)

# Adds <Target>, building the UEFI image <Output> of PE subsystem <Subsystem>
# (10 an application, 11 a boot-service driver) from the SOURCES, whose
# objects make the object library <Objects>, and the static LIBRARIES.
function(vistrel_add_efi_image Target Objects Output Subsystem)
  cmake_parse_arguments(PARSE_ARGV 4 IMAGE "" "" "SOURCES;LIBRARIES")
  add_library(${Objects} OBJECT ${IMAGE_SOURCES} ${VISTREL_START_SOURCES})
  target_compile_options(${Objects} PRIVATE ${VISTREL_TARGET_FLAGS} ${VISTREL_REPRODUCIBLE_FLAGS})
  vistrel_efi_headers(${Objects} PRIVATE)
  set(Archives)
  foreach(Library ${IMAGE_LIBRARIES})
    list(APPEND Archives $<TARGET_FILE:${Library}>)
  endforeach()

  string(REGEX REPLACE "\\.efi$" ".so" SharedObject ${Output})
  add_custom_command(
    OUTPUT ${SharedObject}
    # --no-undefined: a shared object may otherwise leave a call unresolved,
    # which the image would make to address 0.
    COMMAND ${VISTREL_TOOL_PREFIX}ld -nostdlib -znocombreloc -shared -Bsymbolic --build-id=none --no-undefined
            ${VISTREL_LINK_FLAGS}
            -T ${VISTREL_LINKER_SCRIPT} ${VISTREL_START_OBJECTS}
            $<TARGET_OBJECTS:${Objects}> ${Archives}
            -L${GNU_EFI_LIB} -lefi -lgnuefi ${VISTREL_LINK_LIBRARIES} -o ${SharedObject}
    DEPENDS ${Objects} $<TARGET_OBJECTS:${Objects}> ${IMAGE_LIBRARIES}
    COMMAND_EXPAND_LISTS
    VERBATIM)

  # Only what the loader and crt0's self-relocation read: .dynamic and .rela
  # (relative relocations only, so no .dynsym) and the .reloc stub that marks
  # the image relocatable. --strip-all drops the COFF symbol table (a sixth
  # of the file). objcopy writes 0 as the PE time stamp, so the image is the
  # same on every build.
  add_custom_command(
    OUTPUT ${Output}
    COMMAND ${VISTREL_TOOL_PREFIX}objcopy -j .text -j .sdata -j .data -j .rodata -j .dynamic
            -j .rel -j .rela -j .rel.* -j .rela.* -j .reloc --strip-all
            --target efi-app-${VISTREL_EFI_TARGET} --subsystem=${Subsystem} ${SharedObject} ${Output}
    DEPENDS ${SharedObject}
    VERBATIM)

  add_custom_target(${Target} ALL DEPENDS ${Output})
endfunction()

set(VISTREL_EFI ${PROJECT_BINARY_DIR}/vistrel.efi)
vistrel_add_efi_image(vistrel_efi vistrel_target_objects ${VISTREL_EFI} 10
  SOURCES ${VISTREL_SHARED_SOURCES} ${VISTREL_COMMAND_SOURCES} ${VISTREL_COMMAND_CLOCK_SOURCES}
          ${VISTREL_COMMAND_TARGET_ONLY_SOURCES})

vistrel_zlib(vistrel_target_zlib ${VISTREL_TARGET_C_FLAGS})
set(VISTREL_HOTKEY_EFI ${PROJECT_BINARY_DIR}/vistrel-hotkey.efi)
vistrel_add_efi_image(vistrel_hotkey_efi vistrel_hotkey_objects ${VISTREL_HOTKEY_EFI} 11
  SOURCES ${VISTREL_SHARED_SOURCES} ${VISTREL_RESIDENT_SOURCES} ${VISTREL_RESIDENT_TARGET_ONLY_SOURCES}
  LIBRARIES vistrel_target_zlib)
vistrel_use_zlib(vistrel_hotkey_objects)

set(VISTREL_FORMS_EFI ${PROJECT_BINARY_DIR}/vistrel-forms.efi)
vistrel_add_efi_image(vistrel_forms_efi vistrel_forms_objects ${VISTREL_FORMS_EFI} 10
  SOURCES ${VISTREL_SHARED_SOURCES} ${VISTREL_FORMS_SOURCES} ${VISTREL_FORMS_TARGET_ONLY_SOURCES}
  LIBRARIES vistrel_target_zlib)
vistrel_use_zlib(vistrel_forms_objects)

# Which zlib went into the driver, read from the compiled library itself.
add_custom_target(vistrel_zlib_version ALL
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:vistrel_target_zlib> -DSOURCE=${VISTREL_ZLIB_DIR}
          -DIMAGE=${VISTREL_HOTKEY_EFI} -P ${PROJECT_SOURCE_DIR}/cmake/ZlibVersion.cmake
  DEPENDS vistrel_target_zlib
  VERBATIM)

# The stick's boot application, the firmware's boot file there.
set(VISTREL_LAUNCHER_EFI ${PROJECT_BINARY_DIR}/vistrel-launcher.efi)
vistrel_add_efi_image(vistrel_launcher_efi vistrel_launcher_objects ${VISTREL_LAUNCHER_EFI} 10
  SOURCES ${VISTREL_LAUNCHER_SOURCES} ${VISTREL_LAUNCHER_TARGET_ONLY_SOURCES})

# `make build ARCH=<arch>` builds one architecture's images alone.
add_custom_target(vistrel_images_${VISTREL_ARCH}
  DEPENDS vistrel_efi vistrel_hotkey_efi vistrel_launcher_efi vistrel_forms_efi)
