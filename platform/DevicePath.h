// Device paths: how the firmware names a file for LoadImage.
#pragma once

#include "platform/PoolBuffer.h"

// The longest device path taken from the firmware, in bytes; a longer one (or
// one without an end) is treated as broken rather than followed.
constexpr UINTN kLargestDevicePathBytes = 4096;

// A new device path for the file Path (backslashes, from the root) on the
// volume Device: the device's own path, a file-path node, the end. Empty
// when Device has no device path, its path is malformed, or the pool has no
// room. The caller owns the buffer.
PoolBuffer<UINT8> BuildFileDevicePath(EFI_HANDLE Device, const CHAR16 *Path);

// Handle's device path and its bytes with the end node; FALSE when it has
// none or it is malformed.
BOOLEAN HandleDevicePath(EFI_HANDLE Handle, const UINT8 **Path, UINTN *Bytes);
