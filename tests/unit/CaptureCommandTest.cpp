// Whole runs of the command against the fake firmware: what reaches the
// console, the volume and the shell on every road.
#include <algorithm>
#include <functional>

#include "app/CaptureCommand.h"
#include "platform/ApplicationFrame.h"
#include "tests/unit/TestSupport.h"

namespace {

const std::u16string kBanner = u"       Screenshot Capturing ...      ";
const std::u16string kSavingFileError = u"        Saving File Error !!!        ";
const std::string kCaptureFile = "\\VISTREL_240115_103045.BMP";

class CaptureCommandTest : public FirmwareTest {
 protected:
  void SetUp() override {
    Fw.SetScreenSize(1280, 800);
    Fw.PaintScreen();
  }
  EFI_STATUS Run() {
    const EFI_STATUS Status = RunShellApplication(Fw.ImageHandle(), Fw.SystemTable(), CaptureCommandMain);
    EXPECT_EQ(Fw.LivePoolBlocks(), 0u) << "pool memory was left behind";
    EXPECT_EQ(Fw.OpenFileHandles(), 0u) << "a file handle was left open";
    EXPECT_TRUE(Fw.CursorVisible);
    return Status;
  }
  // Console calls only, in order, with the text of each Print.
  std::vector<std::string> ConsoleCalls() const {
    std::vector<std::string> Found;
    for (const std::string &Call : Fw.Calls)
      for (const char *Kind : {"OutputString(", "SetAttribute(", "SetCursorPosition(", "ClearScreen(", "EnableCursor(",
                               "Stall("})
        if (Call.rfind(Kind, 0) == 0) Found.push_back(Call);
    return Found;
  }
};

TEST_F(CaptureCommandTest, GoodRunWritesTheScreenAndSaysWhere) {
  Fw.AddDirectory("\\EFI");
  Fw.AddDirectory("\\EFI\\Tools");
  Fw.CurrentDir = u"FS0:\\EFI\\Tools";
  EXPECT_EQ(Run(), EFI_SUCCESS);
  const std::vector<std::string> Expected = {
      "EnableCursor(FALSE)",
      "SetAttribute(0x4F)",
      "SetCursorPosition(20,13)",
      "OutputString(       Screenshot Capturing ...      )",
      "SetAttribute(0xF)",
      "Stall(500000)",
      "ClearScreen()",
      "OutputString(\r\nGenerate File at:\\EFI\\Tools\\Vistrel_240115_103045.bmp)",
      "EnableCursor(TRUE)",
  };
  EXPECT_EQ(ConsoleCalls(), Expected);
  const fake::FakeFile *File = Fw.FindFile("\\EFI\\TOOLS" + kCaptureFile);
  ASSERT_NE(File, nullptr);
  ExpectCaptureOfScreen(Fw, File->Data);
  EXPECT_EQ(Fw.RowText(1), u"Generate File at:\\EFI\\Tools\\Vistrel_240115_103045.bmp");
}

TEST_F(CaptureCommandTest, FrameIsReadBeforeTheBannerAndWithTheCursorHidden) {
  Run();
  std::vector<std::string> Order;
  for (const std::string &Call : Fw.Calls)
    if (Call.rfind("Blt(", 0) == 0 || Call.rfind("EnableCursor(", 0) == 0 || Call.rfind("OutputString(", 0) == 0 ||
        Call.rfind("Write(", 0) == 0)
      Order.push_back(Call.substr(0, Call.find('(')));
  EXPECT_EQ(Order, (std::vector<std::string>{"EnableCursor", "Blt", "OutputString", "Write", "OutputString",
                                             "EnableCursor"}));
}

TEST_F(CaptureCommandTest, NoGraphicsOutputWritesNothingAndClearsNothing) {
  Fw.HasGraphicsOutput = false;
  EXPECT_EQ(Run(), EFI_NOT_FOUND);
  const std::vector<std::string> Expected = {
      "EnableCursor(FALSE)",
      "OutputString(\r\nGenerate File at:\\Vistrel_240115_103045.bmp)",
      "EnableCursor(TRUE)",
  };
  EXPECT_EQ(ConsoleCalls(), Expected);
  EXPECT_TRUE(Fw.FileNames().empty());
}

// Roads on which the picture or the file cannot be had: the error line
// replaces the banner, white on red at column 20, row 13, for the pause; then
// the screen is cleared and the closing line printed; nothing is saved. The
// colour holds on the roads that never showed the banner too.
TEST_F(CaptureCommandTest, FailedCaptureOrSaveShowsTheErrorLineAndLeavesNoFile) {
  struct Case {
    const char *What;
    std::function<void(fake::FakeFirmware &)> Arrange;
    EFI_STATUS Expected;
    bool BannerFirst;
  };
  const std::vector<Case> Cases = {
      {"null graphics interface", [](fake::FakeFirmware &F) { F.NullGraphicsInterface = true; },
       EFI_INVALID_PARAMETER, false},
      {"screen smaller than the image", [](fake::FakeFirmware &F) { F.SetScreenSize(640, 480); },
       EFI_INVALID_PARAMETER, false},
      {"read-back error", [](fake::FakeFirmware &F) { F.FailCall("Blt", 1, EFI_DEVICE_ERROR); }, EFI_DEVICE_ERROR,
       false},
      {"no memory for the BMP", [](fake::FakeFirmware &F) { F.FailCall("AllocatePool", 5, EFI_OUT_OF_RESOURCES); },
       EFI_OUT_OF_RESOURCES, true},
      {"write-protected volume", [](fake::FakeFirmware &F) { F.ReadOnlyVolume = true; }, EFI_WRITE_PROTECTED, true},
      {"full volume", [](fake::FakeFirmware &F) { F.FreeBytes = 1000; }, EFI_VOLUME_FULL, true},
      {"missing directory", [](fake::FakeFirmware &F) { F.CurrentDir = u"FS0:\\Gone"; }, EFI_NOT_FOUND, true},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware Fresh;
    Fresh.SetScreenSize(800, 600);
    C.Arrange(Fresh);
    Fresh.FailCall("ClearScreen", 1, EFI_DEVICE_ERROR);  // the error line stays on the screen
    EXPECT_EQ(RunShellApplication(Fresh.ImageHandle(), Fresh.SystemTable(), CaptureCommandMain), C.Expected);
    EXPECT_TRUE(Fresh.FileNames().empty());
    EXPECT_EQ(Fresh.LivePoolBlocks(), 0u);
    EXPECT_EQ(Fresh.OpenFileHandles(), 0u);
    const std::u16string &Text = Fresh.ConsoleText;
    const size_t Error = Text.find(kSavingFileError);
    ASSERT_NE(Error, std::u16string::npos);
    EXPECT_EQ(Text.find(kBanner) != std::u16string::npos, C.BannerFirst);
    std::u16string Shown;
    std::vector<UINTN> Colours;
    for (UINTN Column = 20; Column < 20 + kSavingFileError.size(); Column++) {
      Shown += Fresh.Cells[13][Column].Character;
      Colours.push_back(Fresh.Cells[13][Column].Attribute);
    }
    EXPECT_EQ(Shown, kSavingFileError);
    EXPECT_EQ(Colours, std::vector<UINTN>(kSavingFileError.size(), 0x4F));
    std::vector<std::string> Tail = Fresh.Calls;
    // After the error line: white on black, the pause, the clearing, the closing line.
    const auto At = std::find(Tail.begin(), Tail.end(), "OutputString(" + fake::Narrow(kSavingFileError) + ")");
    ASSERT_NE(At, Tail.end());
    EXPECT_EQ(*(At - 1), "SetCursorPosition(20,13)");
    std::vector<std::string> After(At + 1, Tail.end());
    After.erase(std::remove_if(After.begin(), After.end(),
                               [](const std::string &Call) { return Call.rfind("FreePool(", 0) == 0 ||
                                                                    Call.rfind("Close(", 0) == 0; }),
                After.end());
    EXPECT_EQ(After, (std::vector<std::string>{"SetAttribute(0xF)", "Stall(500000)", "ClearScreen()",
                                               "OutputString(\r\nGenerate File at:" +
                                                   std::string(C.Expected == EFI_NOT_FOUND ? "\\Gone\\" : "\\") +
                                                   "Vistrel_240115_103045.bmp)",
                                               "EnableCursor(TRUE)"}));
  }
}

TEST_F(CaptureCommandTest, ErrorLineCoversTheBannerInWhiteOnRed) {
  Fw.ReadOnlyVolume = true;
  Fw.FailCall("ClearScreen", 1, EFI_DEVICE_ERROR);  // keep the screen as it was before the clearing
  Run();
  EXPECT_EQ(Fw.RowText(13), std::u16string(20, u' ') + kSavingFileError.substr(0, kSavingFileError.find_last_not_of(u' ') + 1));
  for (UINTN Column = 20; Column < 57; Column++) EXPECT_EQ(Fw.Cells[13][Column].Attribute, 0x4Fu) << Column;
}

TEST_F(CaptureCommandTest, AllocationMessageFollowsTheBannerOnItsRow) {
  Fw.FailCall("AllocatePool", 5, EFI_OUT_OF_RESOURCES);  // arguments, path, record, pixels, then the BMP
  EXPECT_EQ(Run(), EFI_OUT_OF_RESOURCES);
  // The message continues the banner's row in its colours: no cursor move or colour change between.
  const std::vector<std::string> Calls = ConsoleCalls();
  const std::vector<std::string> Expected = {
      "SetCursorPosition(20,13)", "OutputString(" + fake::Narrow(kBanner) + ")",
      "OutputString(Error Allocate 1440054 Bytes\r\n)", "SetCursorPosition(20,13)",
      "OutputString(" + fake::Narrow(kSavingFileError) + ")"};
  EXPECT_TRUE(std::search(Calls.begin(), Calls.end(), Expected.begin(), Expected.end()) != Calls.end())
      << ::testing::PrintToString(Calls);
  EXPECT_TRUE(Fw.CallsOf("Open").empty()) << "no empty file for a BMP that was never made";
}

TEST_F(CaptureCommandTest, NoImageMeansNothingIsReadOrWritten) {
  for (unsigned Allocation : {3u, 4u}) {  // the record, then its pixels
    fake::FakeFirmware Fresh;
    Fresh.FailCall("AllocatePool", Allocation, EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(RunShellApplication(Fresh.ImageHandle(), Fresh.SystemTable(), CaptureCommandMain), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(Fresh.ConsoleText, std::u16string(u"Error Allocate ") + (Allocation == 3 ? u"32" : u"1920000") +
                                     u" Bytes\r\n\r\nGenerate File at:\\Vistrel_240115_103045.bmp");
    EXPECT_TRUE(Fresh.CallsOf("LocateProtocol(GraphicsOutput)").empty());
    EXPECT_TRUE(Fresh.CallsOf("Blt").empty());
    EXPECT_TRUE(Fresh.FileNames().empty());
    EXPECT_EQ(Fresh.LivePoolBlocks(), 0u);
  }
}

TEST_F(CaptureCommandTest, ExistingCaptureOfTheSameNameIsReplacedWhole) {
  Fw.AddFile(kCaptureFile, std::vector<UINT8>(2000000, 0x77));
  EXPECT_EQ(Run(), EFI_SUCCESS);
  ExpectCaptureOfScreen(Fw, Fw.FindFile(kCaptureFile)->Data);
}

TEST_F(CaptureCommandTest, OlderShellAndNoShellStillGiveAPath) {
  Fw.Shell = fake::ShellKind::Environment2OnOtherHandle;
  Fw.AddDirectory("\\A");
  Fw.CurrentDir = u"fs0:\\A";
  EXPECT_EQ(Run(), EFI_SUCCESS);
  EXPECT_NE(Fw.FindFile("\\A" + kCaptureFile), nullptr);

  fake::FakeFirmware NoShell;
  NoShell.Shell = fake::ShellKind::None;
  EXPECT_EQ(RunShellApplication(NoShell.ImageHandle(), NoShell.SystemTable(), CaptureCommandMain), EFI_SUCCESS);
  EXPECT_NE(NoShell.FindFile(kCaptureFile), nullptr);
  EXPECT_EQ(NoShell.LivePoolBlocks(), 0u);
}

}  // namespace
