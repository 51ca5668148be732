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

// Two 64-bit lanes; SSE2, which every x86-64 UEFI application may use, does
// the lane arithmetic and the lane moves below in one instruction each.
typedef UINT64 WORD_PAIR __attribute__((vector_size(16)));

WORD_PAIR LoadPair(const VOID *Source) {
  WORD_PAIR Value;
  __builtin_memcpy(&Value, Source, sizeof(Value));
  return Value;
}

VOID StorePair(VOID *Destination, WORD_PAIR Value) { __builtin_memcpy(Destination, &Value, sizeof(Value)); }

// Two BGRx pixels in a 64-bit word become six BGR bytes at its bottom, the
// top two bytes zero.
WORD_PAIR Squeeze(WORD_PAIR Pixels) {
  return (Pixels & 0x0000000000FFFFFFull) | ((Pixels >> 8) & 0x0000FFFFFF000000ull);
}

// Sixteen pixels (64 bytes) become 48 bytes, as two independent groups of
// eight side by side, group 0 in lane 0 and group 1 in lane 1. Per group the
// four squeezed words W0..W3 (six bytes each) are packed into three:
//   W0 | W1 << 48,   W1 >> 16 | W2 << 32,   W2 >> 32 | W3 << 16.
// Nearly twice as fast as packing four pixels into three 32-bit words with
// integer instructions. SSE2 has no byte shuffle, hence shifts and masks.
VOID EncodeSixteenPixels(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination) {
  const WORD_PAIR A = LoadPair(Source), B = LoadPair(Source + 4);        // group 0
  const WORD_PAIR C = LoadPair(Source + 8), D = LoadPair(Source + 12);   // group 1
  const WORD_PAIR W0 = Squeeze(__builtin_shufflevector(A, C, 0, 2));
  const WORD_PAIR W1 = Squeeze(__builtin_shufflevector(A, C, 1, 3));
  const WORD_PAIR W2 = Squeeze(__builtin_shufflevector(B, D, 0, 2));
  const WORD_PAIR W3 = Squeeze(__builtin_shufflevector(B, D, 1, 3));
  const WORD_PAIR Out0 = W0 | (W1 << 48);
  const WORD_PAIR Out1 = (W1 >> 16) | (W2 << 32);
  const WORD_PAIR Out2 = (W2 >> 32) | (W3 << 16);
  StorePair(Destination, __builtin_shufflevector(Out0, Out1, 0, 2));
  StorePair(Destination + 16, __builtin_shufflevector(Out2, Out0, 0, 3));
  StorePair(Destination + 32, __builtin_shufflevector(Out1, Out2, 1, 3));
}

// One row: sixteen pixels at a time, the last 0 to 15 byte by byte.
VOID EncodeRow(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Width) {
  UINTN Index = 0;
  for (; Index + 16 <= Width; Index += 16, Destination += 48) {
    EncodeSixteenPixels(Source + Index, Destination);
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
  for (UINTN Row = 0; Image->Pixels != nullptr && Row < Image->Height; Row++) {
    const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source = Image->Pixels + (Image->Height - 1 - Row) * Image->Width;
    EncodeRow(Source, File + kBmpHeaderSize + Row * RowBytes, Image->Width);
  }
  *FileData = File;
  *FileLength = Length;
}
