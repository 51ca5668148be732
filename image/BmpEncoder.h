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

// The file's length for a Width x Height image, or 0 when it would not fit
// the header's 32-bit size fields.
UINTN BmpFileLength(UINTN Width, UINTN Height);

// The 54-byte header of a Width x Height file.
VOID WriteBmpHeader(UINTN Width, UINTN Height, UINT8 *Destination);

// File rows FirstRow to FirstRow + RowCount - 1 of Image (file row 0 is the
// bottom screen line), each BmpRowBytes(Width) long with its padding zeroed:
// a file can be made in pieces, a few rows at a time. Every byte is written.
VOID EncodeBmpRows(const CaptureImage *Image, UINTN FirstRow, UINTN RowCount, UINT8 *Destination);

// Encodes Image into one pool buffer holding the whole file and hands it to
// the caller (who frees it) with its length. When the buffer cannot be had,
// prints "Error Allocate %d Bytes" with the file length and gives null and 0;
// an image too large for the header's 32-bit fields gives null and 0 as well.
VOID EncodeBmp(const CaptureImage *Image, UINT8 **FileData, UINTN *FileLength);

// The row kernels: SSE2, which every x86-64 processor has, SSSE3, whose byte
// shuffle packs pixels in fewer steps, and a portable one in 64-bit integer
// registers. The first encoding picks, on x86-64, SSSE3 when CPUID reports it
// and SSE2 otherwise; on IA32 the same, when the firmware has also enabled
// SSE (CR4.OSFXSR), else the portable kernel; elsewhere the portable kernel,
// since firmware there need not preserve SIMD registers.
enum BMP_ROW_KERNEL { BmpRowKernelSse2, BmpRowKernelSsse3, BmpRowKernelPortable };

// The kernel in use (chosen now if none is yet).
BMP_ROW_KERNEL BmpRowKernelInUse();

// Uses Kernel from now on, for tests and the benchmark; FALSE, and no change,
// when this processor lacks it.
BOOLEAN SelectBmpRowKernel(BMP_ROW_KERNEL Kernel);
