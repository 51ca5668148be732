// The capture's file name from the clock and its path from the shell.
#include "app/CaptureName.h"
#include "tests/unit/TestSupport.h"

namespace {

class CaptureNameTest : public FirmwareTest {
 protected:
  std::u16string FileName() {
    CHAR16 Name[kCaptureFileNameBytes / sizeof(CHAR16)];
    BuildCaptureFileName(Name, sizeof(Name));
    return U16(Name);
  }
  void SetClock(UINT8 Year, UINT8 Month, UINT8 Day, UINT8 Hour, UINT8 Minute, UINT8 Second) {
    Fw.Cmos[0x09] = Year;
    Fw.Cmos[0x08] = Month;
    Fw.Cmos[0x07] = Day;
    Fw.Cmos[0x04] = Hour;
    Fw.Cmos[0x02] = Minute;
    Fw.Cmos[0x00] = Second;
  }
  std::u16string PathFor(const std::u16string *CurrentDir) {
    CapturePath Path;
    std::vector<CHAR16> Dir = CurrentDir ? fake::Ucs2(*CurrentDir) : std::vector<CHAR16>{};
    const std::u16string Name = u"Vistrel_240115_103045.bmp";
    EXPECT_EQ(Path.Build(CurrentDir ? Dir.data() : nullptr, Name.size()), EFI_SUCCESS);
    Path.AppendFileName(fake::Ucs2(Name).data());
    return U16(Path.Text());
  }
  std::u16string PathFor(const std::u16string &CurrentDir) { return PathFor(&CurrentDir); }
};

TEST_F(CaptureNameTest, BcdClockGivesTheDecimalDateAndTime) {
  EXPECT_EQ(FileName(), u"Vistrel_240115_103045.bmp");
  SetClock(0x99, 0x12, 0x31, 0x23, 0x59, 0x09);
  EXPECT_EQ(FileName(), u"Vistrel_991231_235909.bmp");
}

TEST_F(CaptureNameTest, RawRegisterBytesAreShownAsTheyAre) {
  SetClock(24, 1, 15, 10, 45, 5);  // binary mode: minute 45 is 0x2D
  EXPECT_EQ(FileName(), u"Vistrel_18010F_0A2D05.bmp");
  SetClock(0x24, 0x01, 0x15, 0x81, 0x00, 0x00);  // 12-hour mode, 1 p.m.
  EXPECT_EQ(FileName(), u"Vistrel_240115_810000.bmp");
  SetClock(0xFF, 0xAB, 0x00, 0x00, 0x00, 0xFF);
  EXPECT_EQ(FileName(), u"Vistrel_FFAB00_0000FF.bmp");
}

TEST_F(CaptureNameTest, ReadsSixRegistersInOrderWithoutTouchingTheNmiBit) {
  FileName();
  const std::vector<std::pair<UINT16, UINT8>> Expected = {
      {0x70, 0x00}, {0x70, 0x02}, {0x70, 0x04}, {0x70, 0x07}, {0x70, 0x08}, {0x70, 0x09}};
  EXPECT_EQ(Fw.PortWrites, Expected);
}

// Machines without the CMOS clock: GetTime in decimal, as the driver names
// its files, or the driver's fallback stem.
TEST_F(CaptureNameTest, FirmwareClockGivesDecimalNamesOrTheFallbackStem) {
  const auto Name = [] {
    CHAR16 Text[kCaptureFileNameBytes / sizeof(CHAR16)];
    BuildCaptureFileNameFromFirmwareClock(Text, sizeof(Text));
    return U16(Text);
  };
  EXPECT_EQ(Name(), u"Vistrel_240115_103045.bmp");
  Fw.Time = {2099, 12, 31, 23, 59, 9, 0, 0, 0, 0, 0};
  EXPECT_EQ(Name(), u"Vistrel_991231_235909.bmp");
  Fw.FailNext("GetTime", EFI_DEVICE_ERROR);
  EXPECT_EQ(Name(), u"Vistrel_000000_000000.bmp");
  EXPECT_EQ(Fw.PortWrites.size(), 0u);
}

TEST_F(CaptureNameTest, DirectoryPartOfTheCurrentDirectory) {
  EXPECT_EQ(PathFor(u"fs0:\\"), u"\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(PathFor(u"FS0:"), u"\\Vistrel_240115_103045.bmp");  // how the real shell shows a root
  EXPECT_EQ(PathFor(u"fs0:\\A\\B"), u"\\A\\B\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(PathFor(u"FS0:\\EFI\\Tools"), u"\\EFI\\Tools\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(PathFor(u"fs0:\\A\\"), u"\\A\\\\Vistrel_240115_103045.bmp");  // kept as given
}

TEST_F(CaptureNameTest, UnusableCurrentDirectoryMeansTheRoot) {
  EXPECT_EQ(PathFor(nullptr), u"\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(PathFor(u""), u"\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(PathFor(u"EFI\\Tools"), u"\\Vistrel_240115_103045.bmp");   // no colon
  EXPECT_EQ(PathFor(u"fs0:EFI"), u"\\Vistrel_240115_103045.bmp");      // nothing after the colon starts with '\'
  EXPECT_EQ(PathFor(u"A\\B:C"), u"\\Vistrel_240115_103045.bmp");       // backslash only before the colon
}

TEST_F(CaptureNameTest, LongDirectoryIsStoredWhole) {
  std::u16string Dir = u"fs0:";
  for (int Level = 0; Level < 400; Level++) Dir += u"\\Directory";
  const std::u16string Path = PathFor(Dir);
  EXPECT_EQ(Path, Dir.substr(4) + u"\\Vistrel_240115_103045.bmp");
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
}

TEST_F(CaptureNameTest, NoRoomForThePathIsReported) {
  Fw.FailCall("AllocatePool", 1, EFI_OUT_OF_RESOURCES);
  CapturePath Path;
  const std::vector<CHAR16> Dir = fake::Ucs2(u"fs0:\\A");
  EXPECT_EQ(Path.Build(Dir.data(), 25), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(U16(Path.Text()), u"");
  EXPECT_EQ(Fw.ConsoleText, u"Error Allocate 58 Bytes\r\n");  // "\A", "\", 25 characters, NUL
}

}  // namespace
