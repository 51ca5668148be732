#include "fileio/FolderWriter.h"

#include "fileio/FileSteps.h"
#include "platform/FileHandle.h"
#include "platform/Protocol.h"

static_assert(kFolderNameLength == kNewFileNameLength, "the folder's name is one FindFreeName picks");

namespace {

// Opens Name in Folder only if it is not there yet, as a file or (with
// EFI_FILE_DIRECTORY) a folder.
EFI_STATUS CreateNew(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, UINT64 Attributes, EFI_FILE_PROTOCOL **Created) {
  *Created = nullptr;
  EFI_FILE_PROTOCOL *Existing = nullptr;
  EFI_STATUS Status = OpenFile(Folder, Name, EFI_FILE_MODE_READ, &Existing);
  if (!EFI_ERROR(Status)) {
    FileHandle Taken(Existing);
    return EFI_ACCESS_DENIED;
  }
  if (Status != EFI_NOT_FOUND) {
    return Status;
  }
  Status = Folder->Open(Folder, Created, const_cast<CHAR16 *>(Name), kOpenMode, Attributes);
  if (EFI_ERROR(Status) || *Created == nullptr) {
    *Created = nullptr;
    return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
  }
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS CreateFolderOnImageVolume(const CHAR16 *Stem, EFI_FILE_PROTOCOL **Folder, CHAR16 *Name) {
  *Folder = nullptr;
  EFI_STATUS Status = EFI_SUCCESS;
  const EFI_LOADED_IMAGE_PROTOCOL *Image = OpenProtocol<EFI_LOADED_IMAGE_PROTOCOL>(gImageHandle, &Status);
  if (Image == nullptr) {
    return Status;
  }
  EFI_FILE_PROTOCOL *Opened = nullptr;
  Status = OpenVolumeRoot(Image->DeviceHandle, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle Root(Opened);
  Status = FindFreeName(Root.Get(), Stem, STR16(""), Name);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  return CreateNew(Root.Get(), Name, EFI_FILE_DIRECTORY, Folder);
}

EFI_STATUS CreateFileInFolder(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, EFI_FILE_PROTOCOL **File) {
  return CreateNew(Folder, Name, 0, File);
}

EFI_STATUS SaveNewFileInFolder(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, FILE_SOURCE *Source) {
  EFI_FILE_PROTOCOL *Opened = nullptr;
  EFI_STATUS Status = CreateNew(Folder, Name, 0, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle File(Opened);
  BOOLEAN SourceFailed = FALSE;
  Status = WritePieces(File.Get(), Source, &SourceFailed);
  if (EFI_ERROR(Status)) {
    File.Delete();  // the file is new: nothing of anyone else's is lost
  }
  return Status;
}

EFI_STATUS AppendToFile(EFI_FILE_PROTOCOL *File, const VOID *Buffer, UINTN Size) {
  UINTN Written = Size;
  const EFI_STATUS Status = File->Write(File, &Written, const_cast<VOID *>(Buffer));
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (Written != Size) {
    return EFI_DEVICE_ERROR;
  }
  return File->Flush(File);
}
