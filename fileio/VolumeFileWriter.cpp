#include "fileio/VolumeFileWriter.h"

#include "platform/FileHandle.h"
#include "platform/Library.h"
#include "platform/PoolBuffer.h"

namespace {

constexpr UINT64 kOpenMode = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE;
static_assert(kOpenMode == 0x8000000000000003ULL, "read, write, create");

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

}  // namespace

EFI_STATUS SaveFileToVolume(const CHAR16 *FileName, const VOID *Buffer, UINTN BufferSize) {
  VOID *Interface = nullptr;
  EFI_STATUS Status = gBS->LocateProtocol(&gEfiSimpleFileSystemProtocolGuid, nullptr, &Interface);
  if (EFI_ERROR(Status) || Interface == nullptr) {
    return EFI_NOT_FOUND;
  }
  auto *FileSystem = static_cast<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *>(Interface);

  // Owners are made only for handles the firmware really opened: what an
  // open that failed left in its output is never closed.
  EFI_FILE_PROTOCOL *Opened = nullptr;
  Status = FileSystem->OpenVolume(FileSystem, &Opened);
  if (EFI_ERROR(Status) || Opened == nullptr) {
    return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
  }
  FileHandle Root(Opened);
  Opened = nullptr;
  Status = Root.Get()->Open(Root.Get(), &Opened, const_cast<CHAR16 *>(FileName), kOpenMode, 0);
  if (EFI_ERROR(Status) || Opened == nullptr) {
    return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
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
