// The firmware's types and tables as the rest of the command sees them.
//
// Everything outside platform/ includes this header instead of gnu-efi's, so
// the command never depends on how gnu-efi's own library behaves (its print
// routines, for one, differ from what the console output must be).
#pragma once

extern "C" {
#include <efi.h>
#include <efishellintf.h>
}

#include <stddef.h>

// CHAR16 is a 16-bit integer type in these headers while u"" literals are
// char16_t; both builds compile with -fno-strict-aliasing so reading one
// through the other is well defined for this program.
#define STR16(Text) (reinterpret_cast<const CHAR16 *>(u"" Text))

// Set once by the application or driver frame before the image's own code
// runs; the host tests point them at a fake firmware.
extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
extern EFI_RUNTIME_SERVICES *gRT;
extern EFI_HANDLE gImageHandle;

// GUIDs of the protocols the command uses. Not constexpr: the firmware takes
// them through non-const pointers.
extern EFI_GUID gEfiGraphicsOutputProtocolGuid;
extern EFI_GUID gEfiSimpleFileSystemProtocolGuid;
extern EFI_GUID gEfiFileInfoGuid;
extern EFI_GUID gEfiShellProtocolGuid;
extern EFI_GUID gEfiShellParametersProtocolGuid;
extern EFI_GUID gEfiShellInterfaceGuid;
extern EFI_GUID gEfiShellEnvironment2Guid;
extern EFI_GUID gEfiShellEnvironment2ExtGuid;
extern EFI_GUID gEfiSimpleTextInputExProtocolGuid;
extern EFI_GUID gEfiLoadedImageProtocolGuid;
extern EFI_GUID gEfiGlobalVariableGuid;

// A status is as wide as UINTN: 32 bits on IA32, 64 elsewhere; errors have
// the top bit set.
constexpr UINTN kEfiErrorBit = static_cast<UINTN>(1) << (sizeof(UINTN) * 8 - 1);
static_assert(EFI_NOT_FOUND == (kEfiErrorBit | 14), "EFI_NOT_FOUND as the firmware defines it");
static_assert(sizeof(UINTN) == sizeof(VOID *), "UINTN holds a pointer on every architecture built");
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL) == 4, "Blue, Green, Red, Reserved");
