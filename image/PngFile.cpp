#include "image/PngFile.h"

#include "platform/Firmware.h"
PngFile::PngFile() : FILE_SOURCE() { GetPiece = Piece; }

EFI_STATUS PngFile::Create(const CaptureImage *Image, const EFI_TIME *Time) {
  const FIRMWARE_ORIGIN Firmware = ReadFirmwareOrigin();
  const PNG_ORIGIN Origin = {Firmware.Vendor, Firmware.Revision, Firmware.UefiRevision, Time};
  PNG_ENCODER *Made = nullptr;
  const EFI_STATUS Status = CreatePngEncoder(Image, &Origin, &Made);
  DestroyPngEncoder(mEncoder);
  mEncoder = Made;
  return Status;
}

EFI_STATUS PngFile::Piece(FILE_SOURCE *This, UINTN Index, const UINT8 **Bytes, UINTN *Size) {
  return GetPngPiece(static_cast<PngFile *>(This)->mEncoder, Index, Bytes, Size);
}
