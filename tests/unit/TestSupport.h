// Shared helpers for the host tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
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

// The command's capture: the top-left 800x600.
inline void ExpectCaptureOfScreen(const fake::FakeFirmware &Fw, const std::vector<UINT8> &File) {
  ExpectBmpOfScreen(Fw, File, 800, 600);
}
