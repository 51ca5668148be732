// A folder of new files on the running image's own volume, written as a run
// goes: never replacing anything, and leaving no file half-written.
#pragma once

#include "fileio/VolumeFileWriter.h"

// Makes a new folder at the root of the volume the running image was loaded
// from, named Stem, or Stem_2, Stem_3 ... when taken, and opens it: *Folder
// belongs to the caller (FileHandle), Name (kFolderNameLength characters)
// gets the name. Returns EFI_SUCCESS, or, with nothing made:
//   EFI_ACCESS_DENIED  every name up to Stem_999 is taken
//   the firmware's status of finding the image's volume (EFI_UNSUPPORTED when
//   it has no file system), OpenVolume or Open (EFI_WRITE_PROTECTED ...).
constexpr UINTN kFolderNameLength = 64;
EFI_STATUS CreateFolderOnImageVolume(const CHAR16 *Stem, EFI_FILE_PROTOCOL **Folder, CHAR16 *Name);

// Creates the file Name in Folder and opens it for writing; *File belongs to
// the caller. Never opens what is there already: EFI_ACCESS_DENIED when Name
// is taken, otherwise the firmware's status of Open.
EFI_STATUS CreateFileInFolder(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, EFI_FILE_PROTOCOL **File);

// Creates the file Name in Folder, as CreateFileInFolder, and writes Source
// to it whole and flushed, or deletes it again (a full volume, any error).
// Returns EFI_SUCCESS, EFI_ACCESS_DENIED when Name is taken,
// EFI_DEVICE_ERROR for a short write, or the source's or firmware's error.
EFI_STATUS SaveNewFileInFolder(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, FILE_SOURCE *Source);

// Writes Size bytes at File's position and flushes them. Returns EFI_SUCCESS,
// EFI_DEVICE_ERROR when fewer bytes were taken, or the firmware's error
// (EFI_VOLUME_FULL ...). What was written stays.
EFI_STATUS AppendToFile(EFI_FILE_PROTOCOL *File, const VOID *Buffer, UINTN Size);
