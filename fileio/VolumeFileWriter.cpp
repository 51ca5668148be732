#include "fileio/VolumeFileWriter.h"

#include "fileio/FileSteps.h"
#include "platform/FileHandle.h"
#include "platform/Library.h"
#include "platform/PoolBuffer.h"
#include "platform/Print.h"
#include "platform/Protocol.h"

namespace {

constexpr UINTN kFileInfoHeaderSize = offsetof(EFI_FILE_INFO, FileName);

// Room for the record and a name of 255 characters; a longer name costs one
// more call.
constexpr UINTN kFirstInfoSize = kFileInfoHeaderSize + 256 * sizeof(CHAR16);

// The file's EFI_FILE_INFO in a pool buffer, and its size.
EFI_STATUS ReadFileInfo(EFI_FILE_PROTOCOL *File, PoolBuffer<UINT8> *Info, UINTN *InfoSize) {
  UINTN Size = kFirstInfoSize;
  for (int Attempt = 0; Attempt < 2; Attempt++) {
    *Info = PoolBuffer<UINT8>::Allocate(Size);
    if (!*Info) {
      return EFI_OUT_OF_RESOURCES;
    }
    const EFI_STATUS Status = File->GetInfo(File, &gEfiFileInfoGuid, &Size, Info->Get());
    if (Status != EFI_BUFFER_TOO_SMALL) {
      if (!EFI_ERROR(Status) && Size < kFileInfoHeaderSize) {
        return EFI_DEVICE_ERROR;
      }
      *InfoSize = Size;
      return Status;
    }
  }
  return EFI_BUFFER_TOO_SMALL;
}

// Opening does not truncate: an older, longer file keeps its tail unless its
// size is set to what was just written.
EFI_STATUS SetFileSize(EFI_FILE_PROTOCOL *File, UINT64 Size) {
  PoolBuffer<UINT8> Buffer;
  UINTN InfoSize = 0;
  const EFI_STATUS Status = ReadFileInfo(File, &Buffer, &InfoSize);
  auto *Info = reinterpret_cast<EFI_FILE_INFO *>(Buffer.Get());
  if (EFI_ERROR(Status) || Info->FileSize == Size) {
    return Status;
  }
  Info->FileSize = Size;
  return File->SetInfo(File, &gEfiFileInfoGuid, InfoSize, Info);
}

// A name that turned out to be a directory must survive a failed write.
BOOLEAN IsDirectory(EFI_FILE_PROTOCOL *File) {
  PoolBuffer<UINT8> Buffer;
  UINTN InfoSize = 0;
  return !EFI_ERROR(ReadFileInfo(File, &Buffer, &InfoSize)) &&
         (reinterpret_cast<EFI_FILE_INFO *>(Buffer.Get())->Attribute & EFI_FILE_DIRECTORY) != 0;
}

EFI_STATUS SaveNewFileOnVolume(EFI_HANDLE Volume, const CHAR16 *Stem, const CHAR16 *Extension, FILE_SOURCE *Source,
                               BOOLEAN *SourceFailed) {
  EFI_FILE_PROTOCOL *Opened = nullptr;
  EFI_STATUS Status = OpenVolumeRoot(Volume, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle Root(Opened);
  CHAR16 Name[kNewFileNameLength];
  Status = FindFreeName(Root.Get(), Stem, Extension, Name);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = OpenFile(Root.Get(), Name, kOpenMode, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle File(Opened);
  Status = WritePieces(File.Get(), Source, SourceFailed);
  if (EFI_ERROR(Status)) {
    File.Delete();  // the file is new: nothing of anyone else's is lost
  }
  return Status;
}

}  // namespace

EFI_STATUS SaveNewFile(const CHAR16 *Stem, const CHAR16 *Extension, FILE_SOURCE *Source, EFI_HANDLE FirstVolume) {
  UINTN Count = 0;
  const PoolBuffer<EFI_HANDLE> Handles = LocateHandles(&gEfiSimpleFileSystemProtocolGuid, &Count);
  if (!Handles) {
    return EFI_NOT_FOUND;
  }
  EFI_STATUS Status = EFI_NOT_FOUND;
  BOOLEAN SourceFailed = FALSE;
  // Try 0 is FirstVolume; the others are the firmware's order without it.
  for (UINTN Try = 0; Try <= Count && !SourceFailed; Try++) {
    EFI_HANDLE Volume = Try == 0 ? FirstVolume : Handles[Try - 1];
    if (Volume == nullptr || (Try != 0 && Volume == FirstVolume)) {
      continue;
    }
    Status = SaveNewFileOnVolume(Volume, Stem, Extension, Source, &SourceFailed);
    if (!EFI_ERROR(Status)) {
      break;
    }
  }
  return Status;
}

EFI_STATUS SaveFileToVolume(const CHAR16 *FileName, const VOID *Buffer, UINTN BufferSize) {
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem = LocateProtocol<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>();
  if (FileSystem == nullptr) {
    return EFI_NOT_FOUND;
  }
  EFI_FILE_PROTOCOL *Opened = nullptr;
  EFI_STATUS Status = OpenRoot(FileSystem, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle Root(Opened);
  Status = OpenFile(Root.Get(), FileName, kOpenMode, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle File(Opened);

  UINTN Size = BufferSize;
  Status = File.Get()->Write(File.Get(), &Size, const_cast<VOID *>(Buffer));
  if (!EFI_ERROR(Status) && Size != BufferSize) {
    Status = EFI_DEVICE_ERROR;  // a short write leaves a broken file
  }
  if (!EFI_ERROR(Status)) {
    Status = SetFileSize(File.Get(), BufferSize);
  }
  if (EFI_ERROR(Status) && !IsDirectory(File.Get())) {
    File.Delete();
  }
  return Status;
}
