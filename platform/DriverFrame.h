// The frames of images the firmware starts without a shell: what runs
// between the firmware's call of the image and the image's own entry.
#pragma once

#include "platform/Efi.h"

typedef EFI_STATUS (*DRIVER_MAIN)(EFI_HANDLE ImageHandle);

// Records the image handle and the firmware tables (gImageHandle, gST, gBS,
// gRT), makes Unload the image's unload function (the shell's `unload` calls
// it) and calls Main once. The image stays in memory when Main returns
// EFI_SUCCESS and is unloaded by the firmware otherwise.
// Returns Main's status, or, without calling Main:
//   EFI_INVALID_PARAMETER   a system table without boot or runtime services
//   the status of opening the image's EFI_LOADED_IMAGE_PROTOCOL.
EFI_STATUS RunDriverImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main,
                          EFI_IMAGE_UNLOAD Unload);

// The same for an application that the firmware's boot manager starts (no
// shell, no Unload): records the image handle and the tables and calls Main
// once. Returns Main's status, or EFI_INVALID_PARAMETER, without calling
// Main, for a system table without boot or runtime services or a console.
EFI_STATUS RunBootApplication(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main);
