// The driver frame: what runs between the firmware's call of a boot-service
// driver image and the driver's own entry.
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
