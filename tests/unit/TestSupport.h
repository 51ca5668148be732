// Shared helpers for the host tests.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>  // Debian's: an independent CRC-32

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/fake/FakeFirmware.h"

// Every test gets its own firmware; misuse the fake noticed fails the test.
class FirmwareTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(Fw.Faults, std::vector<std::string>{}); }
  fake::FakeFirmware Fw;
};

inline std::u16string U16(const CHAR16 *Text) { return fake::FromUcs2(Text); }

// One run of an every-call-fails loop: the good run (Nth 0), or the one in
// which call Nth, as the good run made it, fails with Status.
struct CallFailing {
  unsigned Nth;
  std::string Call;
  EFI_STATUS Status;
};

// Each firmware call of a good run failing in turn, each run on a firmware of
// its own: Run(Fw, Failing) arranges, runs and judges one run. The good run
// comes first and records the calls; then call N fails, for each N, with no
// memory from the pool and a device error elsewhere. Every run must go the
// good run's way up to its failure and leave the fake no misuse; the first
// run that fails a check ends the loop, traced with the call that failed.
// Returns the good run's number of calls.
template <typename RunFunction>
size_t FailEachCallInTurn(RunFunction Run) {
  std::vector<std::string> Good;
  {
    fake::FakeFirmware Fw;
    Run(Fw, CallFailing{0, "", EFI_SUCCESS});
    EXPECT_EQ(Fw.Faults, std::vector<std::string>{}) << "the good run";
    Good = Fw.Calls;
  }
  for (unsigned Nth = 1; Nth <= Good.size() && !::testing::Test::HasFailure(); Nth++) {
    const std::string &Call = Good[Nth - 1];
    const CallFailing Failing{Nth, Call, Call.rfind("AllocatePool(", 0) == 0 ? EFI_OUT_OF_RESOURCES : EFI_DEVICE_ERROR};
    SCOPED_TRACE(::testing::Message() << "call " << Nth << " of " << Good.size() << " failing: " << Call);
    fake::FakeFirmware Fw;
    Fw.FailNthCall(Nth, Failing.Status);
    Run(Fw, Failing);
    EXPECT_EQ(Fw.FailedCall, Call) << "the run went another way before the failure";
    EXPECT_EQ(Fw.Faults, std::vector<std::string>{});
  }
  return Good.size();
}

inline uint32_t Le32(const std::vector<UINT8> &Bytes, size_t Offset) {
  return Bytes[Offset] | (Bytes[Offset + 1] << 8) | (Bytes[Offset + 2] << 16) |
         (static_cast<uint32_t>(Bytes[Offset + 3]) << 24);
}

// Header fields and every pixel against the screen's top-left Width x Height.
inline void ExpectBmpOfScreen(const fake::FakeFirmware &Fw, const std::vector<UINT8> &File, size_t Width,
                              size_t Height) {
  const size_t RowBytes = (Width * 3 + 3) / 4 * 4;
  const size_t Length = 54 + RowBytes * Height;
  ASSERT_EQ(File.size(), Length);
  EXPECT_EQ(File[0], 'B');
  EXPECT_EQ(File[1], 'M');
  EXPECT_EQ(Le32(File, 2), Length);
  EXPECT_EQ(Le32(File, 10), 54u);
  EXPECT_EQ(Le32(File, 14), 40u);
  EXPECT_EQ(Le32(File, 18), Width);
  EXPECT_EQ(Le32(File, 22), Height);
  EXPECT_EQ(File[26], 1);
  EXPECT_EQ(File[28], 24);
  for (size_t Y = 0; Y < Height; Y++) {
    for (size_t X = 0; X < Width; X++) {
      const size_t At = 54 + (Height - 1 - Y) * RowBytes + X * 3;
      ASSERT_EQ(File[At] | (File[At + 1] << 8) | (File[At + 2] << 16), Fw.Screen[Y * Fw.ScreenWidth + X] & 0xFFFFFF)
          << X << "," << Y;
    }
    for (size_t Pad = Width * 3; Pad < RowBytes; Pad++) ASSERT_EQ(File[54 + Y * RowBytes + Pad], 0) << Y;
  }
}

inline uint32_t Be32(const std::vector<UINT8> &Bytes, size_t Offset) {
  return (static_cast<uint32_t>(Bytes[Offset]) << 24) | (Bytes[Offset + 1] << 16) | (Bytes[Offset + 2] << 8) |
         Bytes[Offset + 3];
}

// A PNG's chunks as a reader walks them, each CRC checked on the way.
struct PngChunks {
  std::vector<std::string> Types;              // in file order
  std::vector<size_t> Lengths;                 // of each chunk's data, in file order
  std::map<std::string, std::string> Text;     // tEXt keyword to text
  std::vector<UINT8> Time;                     // tIME's 7 bytes, if any
};

inline PngChunks ReadPngChunks(const std::vector<UINT8> &File) {
  PngChunks Found;
  const UINT8 Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(File.size() >= 8 && std::equal(Signature, Signature + 8, File.begin())) << "PNG signature";
  for (size_t At = 8; At + 12 <= File.size();) {
    const size_t Length = Be32(File, At);
    if (At + 12 + Length > File.size()) {
      ADD_FAILURE() << "a chunk runs past the end of the file";
      break;
    }
    const std::string Type(File.begin() + At + 4, File.begin() + At + 8);
    EXPECT_EQ(Be32(File, At + 8 + Length), crc32(0, File.data() + At + 4, static_cast<uInt>(Length + 4))) << Type;
    const std::string Data(File.begin() + At + 8, File.begin() + At + 8 + Length);
    if (Type == "tEXt") Found.Text[Data.substr(0, Data.find('\0'))] = Data.substr(Data.find('\0') + 1);
    if (Type == "tIME") Found.Time.assign(Data.begin(), Data.end());
    Found.Types.push_back(Type);
    Found.Lengths.push_back(Length);
    At += 12 + Length;
  }
  return Found;
}

// An 8-bit RGB PNG, decoded by libpng, against Width x Height pixels whose
// rows are Stride pixels apart: IHDR first, IDAT chunks together and each
// but the last full (the writer's 64 KiB pieces, which bound the pool),
// IEND last, every CRC right.
inline void ExpectPngOfPixels(const std::vector<UINT8> &File, size_t Width, size_t Height,
                              const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Pixels, size_t Stride) {
  const PngChunks Chunks = ReadPngChunks(File);
  ASSERT_GE(Chunks.Types.size(), 3u);
  EXPECT_EQ(Chunks.Types.front(), "IHDR");
  EXPECT_EQ(Chunks.Types.back(), "IEND");
  const auto FirstData = std::find(Chunks.Types.begin(), Chunks.Types.end(), "IDAT");
  EXPECT_TRUE(std::all_of(FirstData, Chunks.Types.end() - 1, [](const std::string &T) { return T == "IDAT"; }));
  for (size_t Index = FirstData - Chunks.Types.begin(); Index + 1 < Chunks.Types.size(); Index++)
    EXPECT_TRUE(Index + 2 == Chunks.Types.size() ? Chunks.Lengths[Index] <= 65536 : Chunks.Lengths[Index] == 65536)
        << "IDAT " << Index << ": " << Chunks.Lengths[Index] << " bytes";
  EXPECT_EQ(std::vector<UINT8>(File.begin() + 24, File.begin() + 29), (std::vector<UINT8>{8, 2, 0, 0, 0}))
      << "8-bit RGB, deflate, adaptive filters, no interlace";
  png_image Image = {};
  Image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&Image, File.data(), File.size())) << Image.message;
  ASSERT_EQ(Image.width, Width);
  ASSERT_EQ(Image.height, Height);
  Image.format = PNG_FORMAT_RGB;
  std::vector<UINT8> Rgb(PNG_IMAGE_SIZE(Image));
  ASSERT_TRUE(png_image_finish_read(&Image, nullptr, Rgb.data(), 0, nullptr)) << Image.message;
  for (size_t Y = 0; Y < Height; Y++)
    for (size_t X = 0; X < Width; X++) {
      const UINT8 *Got = &Rgb[(Y * Width + X) * 3];
      const EFI_GRAPHICS_OUTPUT_BLT_PIXEL &Want = Pixels[Y * Stride + X];
      ASSERT_TRUE(Got[0] == Want.Red && Got[1] == Want.Green && Got[2] == Want.Blue) << X << "," << Y;
    }
}

// The same against the screen's top-left Width x Height.
inline void ExpectPngOfScreen(const fake::FakeFirmware &Fw, const std::vector<UINT8> &File, size_t Width,
                              size_t Height) {
  ExpectPngOfPixels(File, Width, Height, reinterpret_cast<const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *>(Fw.Screen.data()),
                    Fw.ScreenWidth);
}

// The command's capture: the top-left 800x600.
inline void ExpectCaptureOfScreen(const fake::FakeFirmware &Fw, const std::vector<UINT8> &File) {
  ExpectBmpOfScreen(Fw, File, 800, 600);
}
