# build/vistrel.efi: the sources compiled freestanding for x86-64 UEFI, linked
# with gnu-efi's crt0 and libraries, and turned into a PE32+ application.

set(VISTREL_TARGET_FLAGS
  ${VISTREL_COMMON_FLAGS}
  -ffreestanding -fpic -fshort-wchar -mno-red-zone -fno-stack-protector
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-threadsafe-statics
  -fno-use-cxa-atexit -nostdinc++ -O2 -Wshadow -Wconversion
)

add_library(vistrel_target_objects OBJECT ${VISTREL_SOURCES} ${VISTREL_TARGET_ONLY_SOURCES})
target_compile_options(vistrel_target_objects PRIVATE ${VISTREL_TARGET_FLAGS})
target_compile_definitions(vistrel_target_objects PRIVATE ${VISTREL_COMMON_DEFINES})
target_include_directories(vistrel_target_objects PRIVATE
  ${PROJECT_SOURCE_DIR} ${GNU_EFI_INCLUDE} ${GNU_EFI_INCLUDE}/x86_64)

set(VISTREL_SO ${PROJECT_BINARY_DIR}/vistrel.so)
set(VISTREL_EFI ${PROJECT_BINARY_DIR}/vistrel.efi)

add_custom_command(
  OUTPUT ${VISTREL_SO}
  COMMAND ld -nostdlib -znocombreloc -shared -Bsymbolic --build-id=none
          -T ${GNU_EFI_LIB}/elf_x86_64_efi.lds ${GNU_EFI_LIB}/crt0-efi-x86_64.o
          $<TARGET_OBJECTS:vistrel_target_objects>
          -L${GNU_EFI_LIB} -lefi -lgnuefi -o ${VISTREL_SO}
  DEPENDS vistrel_target_objects $<TARGET_OBJECTS:vistrel_target_objects>
  COMMAND_EXPAND_LISTS
  VERBATIM)

add_custom_command(
  OUTPUT ${VISTREL_EFI}
  COMMAND objcopy -j .text -j .sdata -j .data -j .rodata -j .dynamic -j .dynsym
          -j .rel -j .rela -j .rel.* -j .rela.* -j .reloc
          --target efi-app-x86_64 --subsystem=10 ${VISTREL_SO} ${VISTREL_EFI}
  DEPENDS ${VISTREL_SO}
  VERBATIM)

add_custom_target(vistrel_efi ALL DEPENDS ${VISTREL_EFI})
