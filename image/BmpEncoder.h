// Uncompressed 24-bit BMP: a 54-byte header, then the rows bottom-up, each
// pixel as Blue, Green, Red, each row padded with zeros to a multiple of 4.
#pragma once

#include "image/CaptureImage.h"

#pragma pack(push, 1)
struct BMP_FILE_HEADER {
  UINT8 Signature[2];  // "BM"
  UINT32 FileSize;
  UINT32 Reserved;
  UINT32 PixelDataOffset;
  UINT32 InfoHeaderSize;
  UINT32 Width;
  UINT32 Height;  // positive: bottom-up rows
  UINT16 Planes;
  UINT16 BitsPerPixel;
  UINT32 Compression;
  UINT32 ImageSize;
  UINT32 XPixelsPerMeter;
  UINT32 YPixelsPerMeter;
  UINT32 ColorsUsed;
  UINT32 ColorsImportant;
};
#pragma pack(pop)

constexpr UINTN kBmpHeaderSize = 54;
constexpr UINTN kBmpInfoHeaderSize = 40;
constexpr UINTN kBmpBytesPerPixel = 3;
static_assert(sizeof(BMP_FILE_HEADER) == kBmpHeaderSize, "file and information headers, no gaps");
static_assert(offsetof(BMP_FILE_HEADER, FileSize) == 2, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, PixelDataOffset) == 10, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, InfoHeaderSize) == 14, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, Width) == 18, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, Height) == 22, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, Planes) == 26, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, BitsPerPixel) == 28, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, Compression) == 30, "header layout");
static_assert(offsetof(BMP_FILE_HEADER, ColorsImportant) == 50, "header layout");

// Bytes per file row: 3 per pixel, rounded up to a multiple of 4.
constexpr UINTN BmpRowBytes(UINTN Width) { return (Width * kBmpBytesPerPixel + 3) & ~static_cast<UINTN>(3); }
static_assert(BmpRowBytes(1) == 4 && BmpRowBytes(3) == 12 && BmpRowBytes(4) == 12, "row padding");
static_assert(BmpRowBytes(kCaptureWidth) * kCaptureHeight + kBmpHeaderSize == 1440054, "800x600 file");

// Encodes Image into one zero-filled pool buffer holding the whole file and
// hands it to the caller (who frees it) with its length. When the buffer
// cannot be had, prints "Error Allocate %d Bytes" with the file length and
// gives null and 0; an image too large for the header's 32-bit fields gives
// null and 0 as well.
VOID EncodeBmp(const CaptureImage *Image, UINT8 **FileData, UINTN *FileLength);
