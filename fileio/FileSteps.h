// The steps the writers share: opening, choosing a free name, writing a
// source's pieces. Owners are made only for handles the firmware really
// opened: what an open that failed left in its output is never closed.
#pragma once

#include "fileio/VolumeFileWriter.h"

constexpr UINT64 kOpenMode = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE;
static_assert(kOpenMode == 0x8000000000000003ULL, "read, write, create");

// Room for a name FindFreeName picks, in characters with the NUL.
constexpr UINTN kNewFileNameLength = 64;

// The volume's root directory in *Root; EFI_DEVICE_ERROR when OpenVolume
// reports success without one.
EFI_STATUS OpenRoot(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem, EFI_FILE_PROTOCOL **Root);

// The root directory of the Simple File System on Volume in *Root;
// OpenProtocol's status, or EFI_NOT_FOUND, without one.
EFI_STATUS OpenVolumeRoot(EFI_HANDLE Volume, EFI_FILE_PROTOCOL **Root);

// Directory->Open of Name with Mode and no attributes.
EFI_STATUS OpenFile(EFI_FILE_PROTOCOL *Directory, const CHAR16 *Name, UINT64 Mode, EFI_FILE_PROTOCOL **Opened);

// The first of Stem + Extension, Stem_2 + Extension, ... up to Stem_999 that
// names nothing in Directory, into Name (kNewFileNameLength characters);
// EFI_ACCESS_DENIED when all are taken.
EFI_STATUS FindFreeName(EFI_FILE_PROTOCOL *Directory, const CHAR16 *Stem, const CHAR16 *Extension, CHAR16 *Name);

// Writes Source's pieces at File's position and flushes them. *SourceFailed
// tells a source that could not make its bytes from a volume that would not
// take them.
EFI_STATUS WritePieces(EFI_FILE_PROTOCOL *File, FILE_SOURCE *Source, BOOLEAN *SourceFailed);
