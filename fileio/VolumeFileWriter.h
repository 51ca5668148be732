// Writes one byte buffer to one file on the first file-system volume.
#pragma once

#include "platform/Efi.h"

// Creates or opens FileName (a path from the volume's root, backslashes, no
// mapping name; passed to the file system unchanged) on the first Simple
// File System volume, writes BufferSize bytes of Buffer (null is allowed when
// BufferSize is 0) from the file's start and makes the file exactly that long,
// so no tail of an older, longer file survives.
//
// Returns EFI_SUCCESS when the whole buffer is in the file, otherwise:
//   EFI_NOT_FOUND      no Simple File System volume
//   EFI_DEVICE_ERROR   the write reported success for fewer bytes than asked
//   the firmware's status of OpenVolume, Open, Write, GetInfo or SetInfo.
// A file that was opened but not written whole is deleted, so no broken file
// is left behind. Every handle opened here is closed before it returns.
EFI_STATUS SaveFileToVolume(const CHAR16 *FileName, const VOID *Buffer, UINTN BufferSize);
