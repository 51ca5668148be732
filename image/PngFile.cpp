#include "image/PngFile.h"

PngFile::PngFile() : FILE_SOURCE() { GetPiece = Piece; }

EFI_STATUS PngFile::Create(const CaptureImage *Image, const EFI_TIME *Time) {
  const PNG_ORIGIN Origin = {gST->FirmwareVendor, gST->FirmwareRevision, gST->Hdr.Revision, Time};
  PNG_ENCODER *Made = nullptr;
  const EFI_STATUS Status = CreatePngEncoder(Image, &Origin, &Made);
  DestroyPngEncoder(mEncoder);
  mEncoder = Made;
  return Status;
}

EFI_STATUS PngFile::Piece(FILE_SOURCE *This, UINTN Index, const UINT8 **Bytes, UINTN *Size) {
  return GetPngPiece(static_cast<PngFile *>(This)->mEncoder, Index, Bytes, Size);
}
