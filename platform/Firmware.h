// What the firmware says of itself, and the boot services' plain waits and
// switches the images use.
#pragma once

#include "platform/Efi.h"

struct FIRMWARE_ORIGIN {
  // The system table's FirmwareVendor: outside input, with no promise that it
  // ends; null is allowed.
  const CHAR16 *Vendor;
  UINT32 Revision;
  UINT32 UefiRevision;  // the system table header's: major << 16 | minor
};

FIRMWARE_ORIGIN ReadFirmwareOrigin();

// EDK II's boot manager arms a five-minute watchdog before it starts an
// image; what runs for minutes, or hands the PC back, turns it off.
VOID DisableWatchdog();

constexpr UINTN kMicrosecondsPerSecond = 1000000;
VOID StallMicroseconds(UINTN Microseconds);

// Variable Name of vendor Guid, of at most *Size bytes, into Data; *Size
// becomes its size. Returns GetVariable's status (EFI_UNSUPPORTED without
// runtime services).
EFI_STATUS ReadVariable(const CHAR16 *Name, const EFI_GUID &Guid, VOID *Data, UINTN *Size);
// The same for an EFI_GLOBAL_VARIABLE.
EFI_STATUS ReadGlobalVariable(const CHAR16 *Name, VOID *Data, UINTN *Size);
