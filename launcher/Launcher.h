// The stick's boot application: started from the firmware's boot menu, it
// loads the hotkey driver from its own volume, says what happened and where
// captures will go, and hands the machine back to the firmware.
#pragma once

#include "platform/Efi.h"

// The driver of this architecture on the launcher's volume.
// VISTREL_ARCHITECTURE_FOLDER comes from the build (cmake/Architectures.cmake).
#define VISTREL_DRIVER_PATH "\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-hotkey.efi"
#define VISTREL_FORMS_PATH "\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-forms.efi"

// How long the message stays up without a key.
constexpr UINTN kLauncherWaitSeconds = 10;
// Less room than this on the stick counts as full: a capture may not fit.
constexpr UINT64 kLauncherLeastFreeBytes = 1024 * 1024;
// The settings walk is offered only with this much room on the stick: OVMF's
// pages take under a megabyte, a PC's setup more.
constexpr UINT64 kLauncherWalkLeastFreeBytes = 4 * 1024 * 1024;

// Turns the boot manager's watchdog off, loads and starts the driver (unless
// shim would be the one loading it under Secure Boot), prints the outcome,
// and offers the settings walk where the stick holds the forms tool and has
// room for it (or says why not). It waits for a key or kLauncherWaitSeconds:
// F or f starts the forms tool from the stick, whose summary then waits as
// long again. Always returns EFI_SUCCESS:
// with an error, EDK II's boot manager would boot the next option, usually
// the installed operating system, where the user asked for the firmware.
EFI_STATUS LauncherMain(EFI_HANDLE ImageHandle);
