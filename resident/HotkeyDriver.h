// The resident driver: loaded once, it captures the whole screen whenever
// Ctrl+Alt+F12 is pressed, whatever the firmware shows.
#pragma once

#include "platform/Efi.h"

// The driver's entry, as the driver frame calls it: an event for the
// capture, and the hotkey on the console input handle (or, before there is
// one, a wait for it). EFI_SUCCESS leaves the driver resident; on an error
// everything made is given back first.
EFI_STATUS DriverMain(EFI_HANDLE ImageHandle);

// The image's Unload: withdraws the hotkey and closes the events, in the
// reverse order of the entry. When the firmware refuses to withdraw a
// notification, returns its status and stays (the notification still leads
// here).
EFI_STATUS EFIAPI DriverUnload(EFI_HANDLE ImageHandle);
