// The encoder on images of any size up to 64x64 with any pixels: the file's
// length, its header fields, its padding and every pixel, read back.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "image/BmpEncoder.h"

namespace {

uint32_t Le32(const UINT8 *Bytes) {
  return Bytes[0] | (Bytes[1] << 8) | (Bytes[2] << 16) | (static_cast<uint32_t>(Bytes[3]) << 24);
}

}  // namespace

// Bytes 0 and 1: width and height; the rest: BGRx pixels, repeated as needed
// (all black when there are none).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size < 2) return 0;
  fake::FakeFirmware &Fw = Firmware();
  const size_t Width = Data[0] % 65;
  const size_t Height = Data[1] % 65;
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Pixels(Width * Height);
  const size_t Given = Size - 2;
  for (size_t Index = 0; Given != 0 && Index < Pixels.size() * 4; Index++)
    reinterpret_cast<UINT8 *>(Pixels.data())[Index] = Data[2 + Index % Given];
  const CaptureImage Image{Width, Height, 0, Pixels.data()};

  UINT8 *File = nullptr;
  UINTN Length = 0;
  EncodeBmp(&Image, &File, &Length);
  Require(File != nullptr);
  const size_t RowBytes = (Width * 3 + 3) / 4 * 4;
  Require(Length == 54 + RowBytes * Height);
  Require(File[0] == 'B' && File[1] == 'M');
  Require(Le32(File + 2) == Length && Le32(File + 6) == 0 && Le32(File + 10) == 54 && Le32(File + 14) == 40);
  Require(Le32(File + 18) == Width && Le32(File + 22) == Height);
  Require(File[26] == 1 && File[27] == 0 && File[28] == 24 && File[29] == 0);
  for (size_t At = 30; At < 54; At++) Require(File[At] == 0);  // no compression, no palette
  for (size_t Y = 0; Y < Height; Y++) {
    const UINT8 *Row = File + 54 + (Height - 1 - Y) * RowBytes;  // bottom-up
    for (size_t X = 0; X < Width; X++) {
      const EFI_GRAPHICS_OUTPUT_BLT_PIXEL &P = Pixels[Y * Width + X];
      Require(Row[X * 3] == P.Blue && Row[X * 3 + 1] == P.Green && Row[X * 3 + 2] == P.Red);
    }
    for (size_t At = Width * 3; At < RowBytes; At++) Require(Row[At] == 0);
  }
  gBS->FreePool(File);
  Require(Fw.LivePoolBlocks() == 0 && Fw.Faults.empty());
  return 0;
}
