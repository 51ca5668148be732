// A screen image as a PNG file for the writer: the driver's encoder, with
// text chunks naming this firmware and the capture's time. Shared by every
// image that saves PNGs.
#pragma once

#include "fileio/VolumeFileWriter.h"
#include "image/PngEncoder.h"

class PngFile : public FILE_SOURCE {
 public:
  PngFile();
  ~PngFile() { DestroyPngEncoder(mEncoder); }
  PngFile(const PngFile &) = delete;
  PngFile &operator=(const PngFile &) = delete;

  // An encoder for Image, which must outlive the file, whose text names the
  // system table's firmware and Time (null when the clock gave none).
  // CreatePngEncoder's statuses; the file is not to be written on an error.
  EFI_STATUS Create(const CaptureImage *Image, const EFI_TIME *Time);

 private:
  static EFI_STATUS Piece(FILE_SOURCE *This, UINTN Index, const UINT8 **Bytes, UINTN *Size);
  PNG_ENCODER *mEncoder = nullptr;
};
