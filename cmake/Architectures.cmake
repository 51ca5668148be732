# The processors the images are built for, and what differs between them.
#
# The configuration `make build` sets up builds x86-64's images
# (build/vistrel.efi, build/vistrel-hotkey.efi, build/vistrel-forms.efi) with
# the host's compiler, beside the host tests. For each other architecture it
# sets up one of its own, with Debian's cross compiler, in build/<arch>/, which
# builds that architecture's three images and nothing else: VISTREL_ARCH names the architecture a
# configuration builds for.
set(VISTREL_ARCHITECTURES x64 aa64 ia32)
# Each one's name is also its folder on the stick (\vistrel\<arch>\, which the
# launcher is built to look in); its launcher is the file its firmware starts
# from a removable disk.
set(VISTREL_BOOT_FILE_x64 BOOTX64.EFI)
set(VISTREL_BOOT_FILE_aa64 BOOTAA64.EFI)
set(VISTREL_BOOT_FILE_ia32 BOOTIA32.EFI)
set(VISTREL_ARCH x64 CACHE STRING "The architecture whose images this configuration builds")
set_property(CACHE VISTREL_ARCH PROPERTY STRINGS ${VISTREL_ARCHITECTURES})

# gnu-efi: the machine's amd64 package, and the arm64 and i386 ones that
# scripts/fetch-gnu-efi.sh unpacks into deps/ without installing them.
set(_deps ${PROJECT_SOURCE_DIR}/deps)
if(VISTREL_ARCH STREQUAL "x64")
  set(VISTREL_GNU_EFI_ROOT /usr)
  set(VISTREL_GNU_EFI_ARCH x86_64)      # gnu-efi's name: headers, crt0, linker script
  set(VISTREL_EFI_TARGET x86_64)        # objcopy's efi-app-<name>
  set(VISTREL_TOOL_PREFIX "")
  set(VISTREL_ARCH_FLAGS -mno-red-zone)
elseif(VISTREL_ARCH STREQUAL "aa64")
  set(VISTREL_GNU_EFI_ROOT ${_deps}/gnu-efi-arm64/usr)
  set(VISTREL_GNU_EFI_ARCH aarch64)
  set(VISTREL_EFI_TARGET aarch64)
  set(VISTREL_TOOL_PREFIX aarch64-linux-gnu-)
  # Firmware here is built to use general-purpose registers only, and its
  # interrupt handlers need not save the SIMD registers: nothing in the image
  # may touch them, the compiler's own vectorising included. Atomics are
  # inlined: libgcc's out-of-line ones wait on a constructor that never runs.
  set(VISTREL_ARCH_FLAGS -mgeneral-regs-only -mno-outline-atomics)
elseif(VISTREL_ARCH STREQUAL "ia32")
  set(VISTREL_GNU_EFI_ROOT ${_deps}/gnu-efi-i386/usr)
  set(VISTREL_GNU_EFI_ARCH ia32)
  set(VISTREL_EFI_TARGET ia32)
  set(VISTREL_TOOL_PREFIX i686-linux-gnu-)
  # The firmware and crt0 promise a 4-byte aligned stack; functions that keep
  # SSE values on theirs realign it.
  set(VISTREL_ARCH_FLAGS -mincoming-stack-boundary=2)
else()
  message(FATAL_ERROR "VISTREL_ARCH is one of ${VISTREL_ARCHITECTURES}, not ${VISTREL_ARCH}")
endif()

# How an image starts: gnu-efi's crt0 and linker script, except on AArch64,
# whose Debian crt0 carries a hand-made PE header that AAVMF refuses
# (SizeOfImage not a multiple of the section alignment). There the image has
# its own start-up code and a linker script laid out as x86-64's, and objcopy
# writes the PE header as it does for the others.
if(VISTREL_ARCH STREQUAL "aa64")
  set(VISTREL_START_OBJECTS "")
  set(VISTREL_START_SOURCES platform/StartAarch64.cpp)
  set(VISTREL_LINKER_SCRIPT ${PROJECT_SOURCE_DIR}/cmake/efi-aarch64.lds)
else()
  set(VISTREL_START_OBJECTS ${VISTREL_GNU_EFI_ROOT}/lib/crt0-efi-${VISTREL_GNU_EFI_ARCH}.o)
  set(VISTREL_START_SOURCES "")
  set(VISTREL_LINKER_SCRIPT ${VISTREL_GNU_EFI_ROOT}/lib/elf_${VISTREL_GNU_EFI_ARCH}_efi.lds)
endif()

# The clock the command names its files from: the CMOS registers behind x86's
# I/O ports, or the firmware's GetTime where there are none.
if(VISTREL_ARCH STREQUAL "aa64")
  set(VISTREL_COMMAND_CLOCK_SOURCES ${VISTREL_COMMAND_FIRMWARE_CLOCK_SOURCES})
else()
  set(VISTREL_COMMAND_CLOCK_SOURCES ${VISTREL_COMMAND_CMOS_CLOCK_SOURCES} platform/PortIoX86.cpp)
endif()

# AArch64's linker would put everything in one 64 KiB-aligned, writable and
# executable segment; the images' sections are 4 KiB-aligned.
set(VISTREL_LINK_FLAGS "")
if(VISTREL_ARCH STREQUAL "aa64")
  set(VISTREL_LINK_FLAGS -z max-page-size=4096)
endif()

# 64-bit arithmetic on IA32 calls libgcc (Print's 64-bit numbers divide).
set(VISTREL_LINK_LIBRARIES "")
if(VISTREL_ARCH STREQUAL "ia32")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                  OUTPUT_VARIABLE VISTREL_LINK_LIBRARIES OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

# The images of every architecture, for the tests: <arch> is this
# configuration's folder for x64, build/<arch>/ for the others.
foreach(_arch ${VISTREL_ARCHITECTURES})
  set(_dir ${PROJECT_BINARY_DIR})
  if(NOT _arch STREQUAL "x64")
    set(_dir ${PROJECT_BINARY_DIR}/${_arch})
  endif()
  set(VISTREL_IMAGE_DIR_${_arch} ${_dir})
  set(VISTREL_EFI_${_arch} ${_dir}/vistrel.efi)
  set(VISTREL_HOTKEY_EFI_${_arch} ${_dir}/vistrel-hotkey.efi)
  set(VISTREL_LAUNCHER_EFI_${_arch} ${_dir}/vistrel-launcher.efi)
  set(VISTREL_FORMS_EFI_${_arch} ${_dir}/vistrel-forms.efi)
endforeach()

# The x64 configuration starts the others' builds as part of its own, each
# with its cross compiler.
function(vistrel_add_architecture_builds)
  include(ExternalProject)
  set(_compilers_aa64 -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc)
  set(_compilers_ia32 -DCMAKE_CXX_COMPILER=i686-linux-gnu-g++ -DCMAKE_C_COMPILER=i686-linux-gnu-gcc)
  foreach(_arch aa64 ia32)
    ExternalProject_Add(vistrel_images_${_arch}
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${PROJECT_BINARY_DIR}/${_arch}
      PREFIX ${PROJECT_BINARY_DIR}/CMakeFiles/vistrel_images_${_arch}
      CMAKE_ARGS -DVISTREL_ARCH=${_arch} ${_compilers_${_arch}}
                 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DVISTREL_HOST_TESTS=OFF
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      BUILD_BYPRODUCTS ${VISTREL_EFI_${_arch}} ${VISTREL_HOTKEY_EFI_${_arch}} ${VISTREL_LAUNCHER_EFI_${_arch}}
                       ${VISTREL_FORMS_EFI_${_arch}})
  endforeach()
endfunction()
