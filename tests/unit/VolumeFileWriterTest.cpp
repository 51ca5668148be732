// Writing a buffer to a file on the first volume.
#include <functional>

#include "fileio/VolumeFileWriter.h"
#include "tests/unit/TestSupport.h"

namespace {

class VolumeFileWriterTest : public FirmwareTest {
 protected:
  EFI_STATUS Save(const std::u16string &Name, const std::vector<UINT8> &Bytes) {
    const EFI_STATUS Status =
        SaveFileToVolume(fake::Ucs2(Name).data(), Bytes.empty() ? nullptr : Bytes.data(), Bytes.size());
    EXPECT_EQ(Fw.OpenFileHandles(), 0u) << "a handle was left open";
    EXPECT_EQ(Fw.LivePoolBlocks(), 0u) << "pool memory was left behind";
    return Status;
  }
  const std::vector<UINT8> Bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
};

TEST_F(VolumeFileWriterTest, WritesTheFileWithTheAskedMode) {
  Fw.AddDirectory("\\EFI");
  Fw.AddDirectory("\\EFI\\Tools");
  ASSERT_EQ(Save(u"\\EFI\\Tools\\shot.bmp", Bytes), EFI_SUCCESS);
  ASSERT_NE(Fw.FindFile("\\EFI\\TOOLS\\SHOT.BMP"), nullptr);
  EXPECT_EQ(Fw.FindFile("\\EFI\\TOOLS\\SHOT.BMP")->Data, Bytes);
  EXPECT_EQ(Fw.CallsOf("Open"), std::vector<std::string>{"Open(\\EFI\\Tools\\shot.bmp,0x8000000000000003,0x0)"});
}

TEST_F(VolumeFileWriterTest, LongerOldFileLosesItsTail) {
  Fw.AddFile("\\shot.bmp", std::vector<UINT8>(100, 0xEE));
  ASSERT_EQ(Save(u"\\shot.bmp", Bytes), EFI_SUCCESS);
  EXPECT_EQ(Fw.FindFile("\\shot.bmp")->Data, Bytes);
}

TEST_F(VolumeFileWriterTest, ZeroBytesMakeAnEmptyFile) {
  Fw.AddFile("\\old.bmp", {7, 7, 7});
  EXPECT_EQ(Save(u"\\new.bmp", {}), EFI_SUCCESS);
  EXPECT_EQ(Save(u"\\old.bmp", {}), EFI_SUCCESS);
  EXPECT_EQ(Fw.FindFile("\\new.bmp")->Data.size(), 0u);
  EXPECT_EQ(Fw.FindFile("\\old.bmp")->Data.size(), 0u);
}

TEST_F(VolumeFileWriterTest, OpenFailuresComeBackUnchangedAndCreateNothing) {
  EXPECT_EQ(Save(u"\\Missing\\shot.bmp", Bytes), EFI_NOT_FOUND);
  Fw.ReadOnlyVolume = true;
  EXPECT_EQ(Save(u"\\shot.bmp", Bytes), EFI_WRITE_PROTECTED);
  Fw.ReadOnlyVolume = false;
  Fw.FailNext("OpenVolume", EFI_MEDIA_CHANGED);
  EXPECT_EQ(Save(u"\\shot.bmp", Bytes), EFI_MEDIA_CHANGED);
  EXPECT_TRUE(Fw.Volume.empty());
  Fw.HasFileSystem = false;
  EXPECT_EQ(Save(u"\\shot.bmp", Bytes), EFI_NOT_FOUND);
  Fw.HasFileSystem = true;
  Fw.FailNext("LocateProtocol", EFI_DEVICE_ERROR);  // any look-up failure reads as "none"
  EXPECT_EQ(Save(u"\\shot.bmp", Bytes), EFI_NOT_FOUND);
  EXPECT_TRUE(Fw.Volume.empty());
}

TEST_F(VolumeFileWriterTest, FileNotWrittenWholeIsDeleted) {
  struct Case {
    const char *What;
    std::function<void(fake::FakeFirmware &)> Arrange;
    EFI_STATUS Expected;
  };
  const std::vector<Case> Cases = {
      {"volume full", [](fake::FakeFirmware &F) { F.FreeBytes = 4; }, EFI_VOLUME_FULL},
      {"short write", [](fake::FakeFirmware &F) { F.ShortWrites = true; }, EFI_DEVICE_ERROR},
      {"write error", [](fake::FakeFirmware &F) { F.FailCall("Write", 1, EFI_DEVICE_ERROR); }, EFI_DEVICE_ERROR},
      {"size not read", [](fake::FakeFirmware &F) { F.FailCall("GetInfo", 1, EFI_DEVICE_ERROR); }, EFI_DEVICE_ERROR},
      {"size not set", [](fake::FakeFirmware &F) { F.FailCall("SetInfo", 1, EFI_ACCESS_DENIED); }, EFI_ACCESS_DENIED},
      {"no pool", [](fake::FakeFirmware &F) { F.FailCall("AllocatePool", 1, EFI_OUT_OF_RESOURCES); },
       EFI_OUT_OF_RESOURCES},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware Fresh;
    Fresh.AddFile("\\shot.bmp", std::vector<UINT8>(100, 0xEE));  // longer, so the size must change
    Fresh.AddFile("\\other.bmp", {1});
    C.Arrange(Fresh);
    EXPECT_EQ(SaveFileToVolume(fake::Ucs2(u"\\shot.bmp").data(), Bytes.data(), Bytes.size()), C.Expected);
    EXPECT_EQ(Fresh.FindFile("\\shot.bmp"), nullptr);
    EXPECT_NE(Fresh.FindFile("\\other.bmp"), nullptr);
    EXPECT_EQ(Fresh.OpenFileHandles(), 0u);
    EXPECT_EQ(Fresh.LivePoolBlocks(), 0u);
    EXPECT_TRUE(Fresh.Faults.empty());
  }
}

TEST_F(VolumeFileWriterTest, LongNamesTakeASecondLookAtTheFileInfo) {
  Fw.AddFile("\\shot.bmp", std::vector<UINT8>(100, 0xEE));
  std::u16string Long(300, u'x');
  Fw.AddFile("\\" + std::string(300, 'x'), std::vector<UINT8>(100, 0xEE));
  ASSERT_EQ(Save(u"\\" + Long, Bytes), EFI_SUCCESS);
  EXPECT_EQ(Fw.CallsOf("GetInfo").size(), 2u);
  EXPECT_EQ(Fw.FindFile("\\" + std::string(300, 'X'))->Data, Bytes);
}

TEST_F(VolumeFileWriterTest, DirectoryOfTheSameNameSurvives) {
  Fw.AddDirectory("\\shot.bmp");
  EXPECT_EQ(Save(u"\\shot.bmp", Bytes), EFI_UNSUPPORTED);
  ASSERT_NE(Fw.FindFile("\\shot.bmp"), nullptr);
  EXPECT_TRUE(Fw.FindFile("\\shot.bmp")->IsDirectory);
}

// A source that cannot make its bytes midway: the part written is deleted,
// the failure is reported, and no other volume gets a try.
TEST_F(VolumeFileWriterTest, NewFileWhoseSourceFailsMidwayIsNotSaved) {
  struct FailingSource : FILE_SOURCE {
    UINTN Asked = 0;
  } Source;
  Source.GetPiece = [](FILE_SOURCE *This, UINTN Index, const UINT8 **Piece, UINTN *Size) -> EFI_STATUS {
    static const UINT8 Header[4] = {1, 2, 3, 4};
    static_cast<FailingSource *>(This)->Asked++;
    *Piece = Header;
    *Size = sizeof(Header);
    return Index < 2 ? EFI_SUCCESS : EFI_DEVICE_ERROR;
  };
  Fw.VolumeCount = 2;
  EXPECT_EQ(SaveNewFile(STR16("shot"), STR16(".png"), &Source, nullptr), EFI_DEVICE_ERROR);
  EXPECT_EQ(Source.Asked, 3u);
  EXPECT_TRUE(Fw.FileNames(0).empty() && Fw.FileNames(1).empty());
  EXPECT_EQ(Fw.OpenFileHandles(), 0u);
}

}  // namespace
