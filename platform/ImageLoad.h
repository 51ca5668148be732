// Loading and starting another image, as the firmware's boot manager would:
// through LoadImage, so the firmware's Secure Boot checks apply as usual.
#pragma once

#include "platform/Efi.h"

// Which step an outcome comes from.
enum IMAGE_STEP { ImageStepLoad, ImageStepStart };

// Loads the image at Path with Parent as its parent and starts it. Returns
// StartImage's status (the image's own: EFI_SUCCESS leaves a driver
// resident; on an error the firmware unloads it), or LoadImage's, with
// *Step saying which. An image LoadImage refused with EFI_SECURITY_VIOLATION
// may still have been given a handle: it is unloaded here. Exit data the
// image hands back is freed.
EFI_STATUS LoadAndStartImage(EFI_HANDLE Parent, EFI_DEVICE_PATH_PROTOCOL *Path, IMAGE_STEP *Step);
