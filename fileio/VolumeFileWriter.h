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

// A file's bytes, made piece by piece on demand, so that no buffer need hold
// the whole file. The writer asks for pieces 0, 1, 2, ... in turn and may
// start again from 0 on another volume.
struct FILE_SOURCE;
// Puts piece Index in *Piece (*Size bytes, valid until the next call) and
// returns EFI_SUCCESS; EFI_END_OF_FILE when the file has no such piece (it
// ended before); any other error when the bytes cannot be made.
typedef EFI_STATUS (*FILE_SOURCE_GET_PIECE)(FILE_SOURCE *This, UINTN Index, const UINT8 **Piece, UINTN *Size);
struct FILE_SOURCE {
  FILE_SOURCE_GET_PIECE GetPiece;
};

// Writes Source as a new file at the root of FirstVolume when it takes it
// whole, otherwise of the first Simple File System volume, in the firmware's
// handle order, that does (FirstVolume may be null: the firmware's order
// alone). Never replaces anything: the name is Stem + Extension, or Stem_2 +
// Extension, Stem_3 ... when that is taken. A volume that refuses
// (write-protected, full, any error) is skipped; a file a failed write leaves
// is deleted first. When the source fails, what it wrote is deleted and no
// other volume is tried.
//
// Returns EFI_SUCCESS once a volume holds the whole file and has flushed it,
// otherwise:
//   EFI_NOT_FOUND      no Simple File System volume
//   EFI_ACCESS_DENIED  the last volume has every name up to Stem_999 taken
//   EFI_DEVICE_ERROR   the last volume took fewer bytes than it was given
//   the source's error, or the firmware's status of the last volume's failed
//   call.
EFI_STATUS SaveNewFile(const CHAR16 *Stem, const CHAR16 *Extension, FILE_SOURCE *Source, EFI_HANDLE FirstVolume);
