// The PNG's text from any firmware tables and clock: the vendor string is
// read no further than its bound (ASan would see more), the chunks fit their
// room, every CRC is right, every keyword and text is printable Latin-1, and
// tIME, when there, is a time of day in UTC.
#include <zlib.h>  // Debian's: an independent CRC-32

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzSupport.h"  // Require
#include "image/PngText.h"

namespace {

uint32_t Be32(const UINT8 *Bytes) {
  return (static_cast<uint32_t>(Bytes[0]) << 24) | (Bytes[1] << 16) | (Bytes[2] << 8) | Bytes[3];
}

bool Printable(UINT8 Byte) { return (Byte >= 0x20 && Byte <= 0x7E) || Byte >= 0xA0; }

}  // namespace

// Bytes 0-7: the firmware and UEFI revisions; 8-23: an EFI_TIME as it is;
// 24: no time (bit 0), no vendor (bit 1); the rest: the vendor, two bytes a
// character, with no NUL unless the input has one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  constexpr size_t kFixed = 25;
  if (Size < kFixed) return 0;
  PNG_ORIGIN Origin = {};
  std::memcpy(&Origin.FirmwareRevision, Data, 4);
  std::memcpy(&Origin.UefiRevision, Data + 4, 4);
  EFI_TIME Time;
  static_assert(sizeof(Time) == 16, "EFI_TIME");
  std::memcpy(&Time, Data + 8, sizeof(Time));
  Origin.Time = (Data[24] & 1) ? nullptr : &Time;
  // Exactly as long as the input's characters, or the bound, whichever is
  // shorter: a read past either is a fault.
  const size_t Characters = std::min((Size - kFixed) / 2, static_cast<size_t>(kPngVendorCharacters));
  std::vector<CHAR16> Vendor(Characters);
  if (Characters != 0) std::memcpy(Vendor.data(), Data + kFixed, Characters * 2);
  const bool Terminated = std::find(Vendor.begin(), Vendor.end(), 0) != Vendor.end();
  Origin.FirmwareVendor = (Data[24] & 2) || (!Terminated && Characters < kPngVendorCharacters) ? nullptr : Vendor.data();

  std::vector<UINT8> Chunks(kPngTextBytes);
  const UINTN Length = WritePngTextChunks(&Origin, Chunks.data());
  Require(Length <= kPngTextBytes);
  size_t Texts = 0;
  for (size_t At = 0; At < Length;) {
    Require(At + 12 <= Length);
    const uint32_t DataSize = Be32(&Chunks[At]);
    Require(At + 12 + DataSize <= Length);
    const UINT8 *Body = &Chunks[At + 8];
    Require(Be32(Body + DataSize) == crc32(0, &Chunks[At + 4], DataSize + 4));
    if (std::memcmp(&Chunks[At + 4], "tEXt", 4) == 0) {
      const UINT8 *Separator = static_cast<const UINT8 *>(std::memchr(Body, 0, DataSize));
      Require(Separator != nullptr && Separator > Body && Separator - Body < 80);
      for (const UINT8 *Byte = Body; Byte < Body + DataSize; Byte++) Require(Byte == Separator || Printable(*Byte));
      Texts++;
    } else {
      Require(std::memcmp(&Chunks[At + 4], "tIME", 4) == 0 && DataSize == 7 && Origin.Time != nullptr);
      Require(Body[2] >= 1 && Body[2] <= 12 && Body[3] >= 1 && Body[3] <= 31 && Body[4] <= 23 && Body[5] <= 59 &&
              Body[6] <= 59);
    }
    At += 12 + DataSize;
  }
  Require(Texts >= 2);
  return 0;
}
