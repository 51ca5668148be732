// What a volume says of itself: whether it takes files, and its name.
#pragma once

#include "platform/Efi.h"

constexpr UINTN kVolumeLabelCharacters = 32;  // shown at most, without the NUL

struct VOLUME_INFO {
  BOOLEAN ReadOnly;
  UINT64 FreeBytes;
  CHAR16 Label[kVolumeLabelCharacters + 1];  // printable characters only; may be empty
};

// The Simple File System volume on Volume, as its EFI_FILE_SYSTEM_INFO
// reports it. Returns EFI_SUCCESS, or the firmware's status of opening it or
// reading the record, EFI_NOT_FOUND when Volume has no file system,
// EFI_DEVICE_ERROR for a record too short to hold its fields.
EFI_STATUS ReadVolumeInfo(EFI_HANDLE Volume, VOLUME_INFO *Info);

// Whether Path (from the root, with backslashes) opens for reading on
// Volume's file system; FALSE too when the volume cannot be opened.
BOOLEAN VolumeHoldsFile(EFI_HANDLE Volume, const CHAR16 *Path);
