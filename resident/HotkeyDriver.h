// The resident driver: loaded once, it captures the whole screen whenever
// Ctrl+Alt+F12 is pressed, whatever the firmware shows.
#pragma once

#include "platform/Efi.h"

// Installed on the image handle of the copy that holds the hotkey, so that a
// copy loaded later in the same boot finds it and stays out.
#define VISTREL_HOTKEY_PROTOCOL_GUID \
  {0x6e7c2a91, 0x3d4b, 0x4f0e, {0x9a, 0x5c, 0x1b, 0x8e, 0x27, 0xd4, 0x60, 0xf3}}
constexpr UINT32 VISTREL_HOTKEY_PROTOCOL_REVISION = 1;
struct VISTREL_HOTKEY_PROTOCOL {
  UINT32 Revision;
};
extern EFI_GUID gVistrelHotkeyGuid;

// The driver's entry, as the driver frame calls it: the marker on the image
// handle, an event for the capture, and the hotkey on the console input
// handle (or, before there is one, a wait for it). EFI_SUCCESS leaves the
// driver resident; on an error everything made is given back first.
// EFI_ALREADY_STARTED when another copy is active: nothing is registered.
EFI_STATUS DriverMain(EFI_HANDLE ImageHandle);

// The image's Unload: withdraws the hotkey, closes the events and removes
// the marker, in the reverse order of the entry, so a later load works
// again. When the firmware refuses to withdraw a notification or the marker,
// returns its status and stays (they still lead here).
EFI_STATUS EFIAPI DriverUnload(EFI_HANDLE ImageHandle);
