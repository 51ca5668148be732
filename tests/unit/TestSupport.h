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

// Header fields and every pixel against the top-left 800x600 of the screen.
inline void ExpectCaptureOfScreen(const fake::FakeFirmware &Fw, const std::vector<UINT8> &File) {
  ASSERT_EQ(File.size(), 1440054u);
  EXPECT_EQ(File[0], 'B');
  EXPECT_EQ(File[1], 'M');
  EXPECT_EQ(Le32(File, 2), 1440054u);
  EXPECT_EQ(Le32(File, 10), 54u);
  EXPECT_EQ(Le32(File, 18), 800u);
  EXPECT_EQ(Le32(File, 22), 600u);
  EXPECT_EQ(File[28], 24);
  for (size_t Y = 0; Y < 600; Y++)
    for (size_t X = 0; X < 800; X++) {
      const size_t At = 54 + (599 - Y) * 2400 + X * 3;
      ASSERT_EQ(File[At] | (File[At + 1] << 8) | (File[At + 2] << 16), Fw.Screen[Y * Fw.ScreenWidth + X] & 0xFFFFFF)
          << X << "," << Y;
    }
}
