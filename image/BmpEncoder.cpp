#include "image/BmpEncoder.h"

#include "platform/Library.h"
#include "platform/Print.h"

namespace {

constexpr UINT64 kLargestBmpFile = 0xFFFFFFFF;

// File length, or 0 when it does not fit the header's 32-bit size field.
UINTN BmpFileLength(UINTN Width, UINTN Height) {
  UINTN RowBytes = 0;
  UINTN Length = 0;
  if (!SafeMultiply(Width, kBmpBytesPerPixel, &RowBytes) || !SafeAdd(RowBytes, 3, &RowBytes) ||
      !SafeMultiply(RowBytes & ~static_cast<UINTN>(3), Height, &Length) ||
      !SafeAdd(Length, kBmpHeaderSize, &Length) || Length > kLargestBmpFile || Height > kLargestBmpFile) {
    return 0;
  }
  return Length;
}

UINT32 Load32(const VOID *Source) {
  UINT32 Value;
  __builtin_memcpy(&Value, Source, sizeof(Value));
  return Value;
}

VOID Store32(VOID *Destination, UINT32 Value) { __builtin_memcpy(Destination, &Value, sizeof(Value)); }

// One row: four BGRx pixels (16 bytes) become three little-endian words (12
// bytes) with shifts, which runs close to memory speed; the last 0 to 3
// pixels go byte by byte.
VOID EncodeRow(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Width) {
  UINTN Index = 0;
  for (; Index + 4 <= Width; Index += 4, Destination += 12) {
    const UINT32 P0 = Load32(&Source[Index]);
    const UINT32 P1 = Load32(&Source[Index + 1]);
    const UINT32 P2 = Load32(&Source[Index + 2]);
    const UINT32 P3 = Load32(&Source[Index + 3]);
    Store32(Destination, (P0 & 0x00FFFFFF) | (P1 << 24));
    Store32(Destination + 4, ((P1 >> 8) & 0x0000FFFF) | (P2 << 16));
    Store32(Destination + 8, ((P2 >> 16) & 0x000000FF) | (P3 << 8));
  }
  for (; Index < Width; Index++, Destination += 3) {
    Destination[0] = Source[Index].Blue;
    Destination[1] = Source[Index].Green;
    Destination[2] = Source[Index].Red;
  }
}

}  // namespace

VOID EncodeBmp(const CaptureImage *Image, UINT8 **FileData, UINTN *FileLength) {
  *FileData = nullptr;
  *FileLength = 0;
  if (Image == nullptr) {
    return;
  }
  const UINTN Length = BmpFileLength(Image->Width, Image->Height);
  if (Length == 0 || (Image->Pixels == nullptr && Length != kBmpHeaderSize)) {
    return;
  }
  auto *File = static_cast<UINT8 *>(AllocateZeroPool(Length));
  if (File == nullptr) {
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(Length));
    return;
  }

  BMP_FILE_HEADER Header = {};
  Header.Signature[0] = 'B';
  Header.Signature[1] = 'M';
  Header.FileSize = static_cast<UINT32>(Length);
  Header.PixelDataOffset = kBmpHeaderSize;
  Header.InfoHeaderSize = kBmpInfoHeaderSize;
  Header.Width = static_cast<UINT32>(Image->Width);
  Header.Height = static_cast<UINT32>(Image->Height);
  Header.Planes = 1;
  Header.BitsPerPixel = 24;
  CopyMem(File, &Header, sizeof(Header));

  const UINTN RowBytes = BmpRowBytes(Image->Width);
  for (UINTN Row = 0; Row < Image->Height; Row++) {
    const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source = Image->Pixels + (Image->Height - 1 - Row) * Image->Width;
    EncodeRow(Source, File + kBmpHeaderSize + Row * RowBytes, Image->Width);
  }
  *FileData = File;
  *FileLength = Length;
}
