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
