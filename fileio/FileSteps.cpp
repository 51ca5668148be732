#include "fileio/FileSteps.h"

#include "platform/FileHandle.h"
#include "platform/Print.h"
#include "platform/Protocol.h"

namespace {

constexpr UINTN kLastNameNumber = 999;

}  // namespace

EFI_STATUS OpenRoot(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem, EFI_FILE_PROTOCOL **Root) {
  *Root = nullptr;
  const EFI_STATUS Status = FileSystem->OpenVolume(FileSystem, Root);
  if (EFI_ERROR(Status) || *Root == nullptr) {
    *Root = nullptr;
    return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
  }
  return EFI_SUCCESS;
}

EFI_STATUS OpenVolumeRoot(EFI_HANDLE Volume, EFI_FILE_PROTOCOL **Root) {
  *Root = nullptr;
  EFI_STATUS Status = EFI_SUCCESS;
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem = OpenProtocol<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>(Volume, &Status);
  return FileSystem == nullptr ? Status : OpenRoot(FileSystem, Root);
}

EFI_STATUS OpenFile(EFI_FILE_PROTOCOL *Directory, const CHAR16 *Name, UINT64 Mode, EFI_FILE_PROTOCOL **Opened) {
  *Opened = nullptr;
  const EFI_STATUS Status = Directory->Open(Directory, Opened, const_cast<CHAR16 *>(Name), Mode, 0);
  if (EFI_ERROR(Status) || *Opened == nullptr) {
    *Opened = nullptr;
    return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
  }
  return EFI_SUCCESS;
}

EFI_STATUS FindFreeName(EFI_FILE_PROTOCOL *Directory, const CHAR16 *Stem, const CHAR16 *Extension, CHAR16 *Name) {
  for (UINTN Number = 1; Number <= kLastNameNumber; Number++) {
    if (Number == 1) {
      UnicodeSPrint(Name, kNewFileNameLength * sizeof(CHAR16), STR16("%s%s"), Stem, Extension);
    } else {
      UnicodeSPrint(Name, kNewFileNameLength * sizeof(CHAR16), STR16("%s_%u%s"), Stem, static_cast<UINT32>(Number),
                    Extension);
    }
    EFI_FILE_PROTOCOL *Existing = nullptr;
    const EFI_STATUS Status = OpenFile(Directory, Name, EFI_FILE_MODE_READ, &Existing);
    if (Status == EFI_NOT_FOUND) {
      return EFI_SUCCESS;
    }
    if (EFI_ERROR(Status)) {
      return Status;  // the volume cannot even say what it holds
    }
    FileHandle Taken(Existing);
  }
  return EFI_ACCESS_DENIED;
}

EFI_STATUS WritePieces(EFI_FILE_PROTOCOL *File, FILE_SOURCE *Source, BOOLEAN *SourceFailed) {
  for (UINTN Index = 0;; Index++) {
    const UINT8 *Piece = nullptr;
    UINTN PieceSize = 0;
    EFI_STATUS Status = Source->GetPiece(Source, Index, &Piece, &PieceSize);
    if (Status == EFI_END_OF_FILE) {
      break;
    }
    if (EFI_ERROR(Status)) {
      *SourceFailed = TRUE;
      return Status;  // a file cut short is never saved
    }
    UINTN Size = PieceSize;
    Status = File->Write(File, &Size, const_cast<UINT8 *>(Piece));
    if (EFI_ERROR(Status)) {
      return Status;
    }
    if (Size != PieceSize) {
      return EFI_DEVICE_ERROR;  // a short write leaves a broken file
    }
  }
  // A write the file system only cached is not on the volume yet.
  return File->Flush(File);
}
