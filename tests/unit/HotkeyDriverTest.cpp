// The resident driver against the fake firmware: the hotkey, the capture it
// runs, where the file goes, the square, Unload; then its whole life with
// each firmware call failing in turn.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "image/CaptureImage.h"
#include "platform/DriverFrame.h"
#include "resident/HotkeyDriver.h"
#include "resident/ScreenCapture.h"
#include "tests/unit/TestSupport.h"

namespace {

constexpr UINT32 kCtrlAlt = EFI_SHIFT_STATE_VALID | EFI_LEFT_CONTROL_PRESSED | EFI_LEFT_ALT_PRESSED;
constexpr UINT32 kGreen = 0x00FF00, kRed = 0xFF0000;
const std::string kName = "\\VISTREL_240115_103045.PNG";

EFI_STATUS Load(fake::FakeFirmware &F) {
  return RunDriverImage(F.ImageHandle(), F.SystemTable(), DriverMain, DriverUnload);
}

EFI_STATUS Unload(fake::FakeFirmware &F) { return F.LoadedImage.Unload(F.ImageHandle()); }

// Once the driver is gone, nothing of it may be left in the firmware.
void ExpectNothingKept(const fake::FakeFirmware &F) {
  EXPECT_EQ(F.LiveEvents(), 0u);
  EXPECT_EQ(F.KeyNotifications(), 0u);
  EXPECT_EQ(F.LivePoolBlocks(), 0u);
  EXPECT_EQ(F.OpenFileHandles(), 0u);
  EXPECT_TRUE(F.Installed.empty()) << "the marker outlived the driver";
  EXPECT_EQ(F.Faults, std::vector<std::string>{});
}

// Presses the hotkey; the screen must come back as it was and the capture
// keep nothing. Returns the colour the square showed last, 0 for none.
UINT32 Press(fake::FakeFirmware &F, UINT32 Shift = kCtrlAlt, unsigned Times = 1) {
  UINT32 Square = 0;
  auto Outer = F.OnCall;
  F.OnCall = [&](const std::string &Call) {
    if (Outer) Outer(Call);
    if (Call == "Stall(500000)") Square = F.Screen[0] & 0xFFFFFF;
  };
  const std::vector<UINT32> Before = F.Screen;
  F.PressKey(SCAN_F12, Shift, fake::FakeFirmware::KeyArrival::Queued, Times);
  F.OnCall = Outer;
  // Only a failure of the very call that puts the pixels back can keep them off.
  EXPECT_TRUE(F.Screen == Before || F.FailedCall.rfind("Blt(2,", 0) == 0) << "the screen did not come back";
  EXPECT_EQ(F.LivePoolBlocks(), 0u) << "a capture kept pool memory";
  EXPECT_EQ(F.OpenFileHandles(), 0u);
  return Square;
}

// Load, one press, Unload.
UINT32 CaptureOnce(fake::FakeFirmware &F) {
  EXPECT_EQ(Load(F), EFI_SUCCESS);
  const UINT32 Square = Press(F);
  EXPECT_EQ(Unload(F), EFI_SUCCESS);
  ExpectNothingKept(F);
  return Square;
}

class HotkeyDriverTest : public FirmwareTest {
 protected:
  void SetUp() override {
    Fw.SetScreenSize(1280, 800);
    Fw.PaintScreen();
  }
};

TEST_F(HotkeyDriverTest, EachCtrlAndAltCaptureTheWholeScreenWithoutOverwriting) {
  Fw.AddFile(kName, {1, 2, 3});
  ASSERT_EQ(Load(Fw), EFI_SUCCESS);
  EXPECT_EQ(Fw.KeyNotifications(), 4u);
  EXPECT_TRUE(Fw.CallsOf("Blt").empty()) << "nothing happens before a press";
  EXPECT_EQ(Press(Fw, EFI_SHIFT_STATE_VALID | EFI_LEFT_CONTROL_PRESSED), 0u);
  EXPECT_EQ(Press(Fw, kCtrlAlt | EFI_LEFT_SHIFT_PRESSED), 0u);
  ASSERT_EQ(Fw.FileNames().size(), 1u);

  const size_t Frame = 1280 * 800 * 4 + sizeof(CaptureImage);
  for (UINT32 Ctrl : {EFI_LEFT_CONTROL_PRESSED, EFI_RIGHT_CONTROL_PRESSED})
    for (UINT32 Alt : {EFI_LEFT_ALT_PRESSED, EFI_RIGHT_ALT_PRESSED}) {
      Fw.PeakPoolBytes = Fw.PoolBytes;
      EXPECT_EQ(Press(Fw, EFI_SHIFT_STATE_VALID | Ctrl | Alt), kGreen);
      EXPECT_LE(Fw.PeakPoolBytes - Frame, 1u << 20) << "beside the frame, at most 1 MiB";
    }
  std::printf("[ pool ] peak of a 1280x800 capture: %zu bytes, the frame and %zu\n", Fw.PeakPoolBytes,
              Fw.PeakPoolBytes - Frame);
  EXPECT_EQ(Fw.FindFile(kName)->Data, (std::vector<UINT8>{1, 2, 3}));
  for (const char *Suffix : {"_2", "_3", "_4", "_5"}) {
    const fake::FakeFile *File = Fw.FindFile("\\VISTREL_240115_103045" + std::string(Suffix) + ".PNG");
    ASSERT_NE(File, nullptr) << Suffix;
    ExpectPngOfScreen(Fw, File->Data, 1280, 800);
  }

  // The pool beside the frame does not grow with the screen.
  Fw.SetScreenSize(3840, 2160);
  Fw.PaintScreen();
  const size_t Frame4K = 3840 * 2160 * 4 + sizeof(CaptureImage);
  Fw.PeakPoolBytes = Fw.PoolBytes;
  EXPECT_EQ(Press(Fw), kGreen);
  EXPECT_LE(Fw.PeakPoolBytes - Frame4K, 1u << 20) << "beside the frame, at most 1 MiB";
  std::printf("[ pool ] peak of a 3840x2160 capture: %zu bytes, the frame and %zu\n", Fw.PeakPoolBytes,
              Fw.PeakPoolBytes - Frame4K);
  ExpectPngOfScreen(Fw, Fw.FindFile("\\VISTREL_240115_103045_6.PNG")->Data, 3840, 2160);
  EXPECT_TRUE(Fw.ConsoleText.empty()) << "text would break the screen being captured";
  EXPECT_EQ(Unload(Fw), EFI_SUCCESS);
  ExpectNothingKept(Fw);
}

// The driver sees when a notification arrives, not when the key went down:
// presses whose notifications arrive while a capture is pending or running
// give exactly one more, so two presses give two files in every order a
// keyboard can deliver them, and a held key never a backlog.
TEST_F(HotkeyDriverTest, PressesGiveOneMoreCaptureWhateverTheOrderOfTheirNotifications) {
  using Arrival = fake::FakeFirmware::KeyArrival;
  struct Case {
    const char *What;
    Arrival When;
    unsigned Times;
    bool DuringCapture;
    size_t Files;
  };
  // Five repeats behind the capture reach an idle driver: the first starts a
  // capture, the other four ask for one more.
  const std::vector<Case> Cases = {
      {"two read in one poll, before the capture starts", Arrival::Queued, 2, false, 2},
      {"during the capture, queued behind it", Arrival::Queued, 1, true, 2},
      {"during the capture, notified at once", Arrival::AtOnce, 1, true, 2},
      {"during the capture, read after its end", Arrival::Late, 1, true, 2},
      {"a held key's repeats, notified at once", Arrival::AtOnce, 5, true, 2},
      {"a held key's repeats, queued behind the capture", Arrival::Queued, 5, true, 3},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware F;
    F.SetScreenSize(40, 30);
    F.PaintScreen();
    ASSERT_EQ(Load(F), EFI_SUCCESS);
    bool Pressed = !C.DuringCapture;
    F.OnCall = [&](const std::string &Call) {
      if (!Pressed && Call.rfind("Blt(1,", 0) == 0) {
        Pressed = true;
        F.PressKey(SCAN_F12, kCtrlAlt, C.When, C.Times);
      }
    };
    EXPECT_EQ(Press(F, kCtrlAlt, C.DuringCapture ? 1 : C.Times), kGreen);
    EXPECT_TRUE(Pressed);
    EXPECT_EQ(F.FileNames().size(), C.Files);
    F.OnCall = nullptr;
    EXPECT_EQ(Press(F), kGreen) << "a press after them is served";
    EXPECT_EQ(F.FileNames().size(), C.Files + 1);
    EXPECT_EQ(Unload(F), EFI_SUCCESS);
    ExpectNothingKept(F);
  }
}

// The volume the driver was loaded from, then the others in the firmware's
// order: the first that takes the file whole gets it; one that refuses, at
// any point of the file, is skipped without leaving anything on it; when
// none takes it, the square is red.
TEST_F(HotkeyDriverTest, FileGoesWhereTheDriverCameFromOrToTheFirstVolumeThatTakesIt) {
  constexpr size_t kNowhere = 2;
  struct Case {
    const char *What;
    std::function<void(fake::FakeFirmware &)> Arrange;
    size_t Volume;  // where the file lands
  };
  const std::vector<Case> Cases = {
      {"both take it", [](fake::FakeFirmware &) {}, 0},
      {"loaded from the second", [](fake::FakeFirmware &F) { F.LoadedImage.DeviceHandle = &F.Volumes[1].HandleTag; },
       1},
      {"loaded from the second, write-protected",
       [](fake::FakeFirmware &F) {
         F.LoadedImage.DeviceHandle = &F.Volumes[1].HandleTag;
         F.Volumes[1].ReadOnly = true;
       },
       0},
      {"first write-protected", [](fake::FakeFirmware &F) { F.Volumes[0].ReadOnly = true; }, 1},
      {"first full", [](fake::FakeFirmware &F) { F.Volumes[0].FreeBytes = 400; }, 1},
      {"first cannot be opened", [](fake::FakeFirmware &F) { F.FailCall("OpenVolume", 1, EFI_NO_MEDIA); }, 1},
      {"first fails to flush", [](fake::FakeFirmware &F) { F.FailCall("Flush", 1, EFI_DEVICE_ERROR); }, 1},
      {"first takes fewer bytes than it is given", [](fake::FakeFirmware &F) { F.Volumes[0].ShortWrites = true; }, 1},
      // Half the pixels noise: chunks end with a band of rows half deflated,
      // and the second volume's file must start again from the top of the
      // screen, not from what the failed pass left unread.
      {"first fails in the middle of the pixels",
       [](fake::FakeFirmware &F) {
         F.SetScreenSize(1280, 600);
         std::srand(6);
         for (size_t At = 0; At < F.Screen.size(); At++)
           F.Screen[At] = At % 1280 != 0 && std::rand() % 2 ? F.Screen[At - 1] : std::rand() & 0xFFFFFF;
         F.FailCall("Write", 3, EFI_DEVICE_ERROR);
       },
       1},
      {"both write-protected", [](fake::FakeFirmware &F) { F.Volumes[0].ReadOnly = F.Volumes[1].ReadOnly = true; },
       kNowhere},
      {"no volume", [](fake::FakeFirmware &F) { F.HasFileSystem = false; }, kNowhere},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware F;
    F.SetScreenSize(641, 600);  // padded rows, in two pieces
    F.PaintScreen();
    F.VolumeCount = 2;
    C.Arrange(F);
    EXPECT_EQ(CaptureOnce(F), C.Volume == kNowhere ? kRed : kGreen);
    for (size_t Volume = 0; Volume < 2; Volume++)
      EXPECT_EQ(F.FileNames(Volume).size(), Volume == C.Volume ? 1u : 0u) << "volume " << Volume;
    if (C.Volume != kNowhere) ExpectPngOfScreen(F, F.FindFile(kName, C.Volume)->Data, F.ScreenWidth, F.ScreenHeight);
  }
}

// The console's Graphics Output first, the first one found otherwise; none
// at all means nothing is read, drawn or saved.
TEST_F(HotkeyDriverTest, GraphicsOutputFromTheConsoleOrTheFirstFound) {
  Fw.GraphicsOnConsoleOut = false;
  EXPECT_EQ(CaptureOnce(Fw), kGreen);
  EXPECT_EQ(Fw.FileNames().size(), 1u);

  fake::FakeFirmware None;
  None.HasGraphicsOutput = false;
  EXPECT_EQ(CaptureOnce(None), 0u);
  EXPECT_TRUE(None.FileNames().empty());
  EXPECT_TRUE(None.CallsOf("Blt").empty());
  EXPECT_TRUE(None.CallsOf("Stall").empty());

  // Wider than the encoder takes: refused before the frame is read.
  fake::FakeFirmware Wide;
  Wide.SetScreenSize(32769, 2);
  EXPECT_EQ(CaptureOnce(Wide), kRed);
  EXPECT_TRUE(Wide.FileNames().empty());
  EXPECT_EQ(Wide.CallsOf("Blt").size(), 3u) << "the square's alone";
}

TEST_F(HotkeyDriverTest, NameComesFromTheFirmwareClock) {
  struct Case {
    const char *What;
    std::function<void(fake::FakeFirmware &)> Arrange;
    std::string Name, Created;
  };
  const std::vector<Case> Cases = {
      {"last second of 2099", [](fake::FakeFirmware &F) { F.Time = EFI_TIME{2099, 12, 31, 23, 59, 9, 0, 0, 60, 0, 0}; },
       "\\VISTREL_991231_235909.PNG", "2099-12-31T23:59:09-01:00"},
      {"no clock", [](fake::FakeFirmware &F) { F.FailCall("GetTime", 1, EFI_DEVICE_ERROR); },
       "\\VISTREL_000000_000000.PNG", ""},
      {"impossible date", [](fake::FakeFirmware &F) { F.Time.Month = 13; }, "\\VISTREL_000000_000000.PNG", ""},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware F;
    C.Arrange(F);
    EXPECT_EQ(CaptureOnce(F), kGreen);
    ASSERT_EQ(F.FileNames(), std::vector<std::string>{C.Name});
    EXPECT_TRUE(F.PortWrites.empty()) << "the clock's ports are never touched";
    EXPECT_EQ(F.CallsOf("GetTime").size(), 1u) << "one reading for the name and the text";
    const PngChunks Chunks = ReadPngChunks(F.FindFile(C.Name)->Data);
    EXPECT_EQ(Chunks.Text.at("Source"), "Fake Firmware, revision 0x00010000; UEFI 2.7");
    EXPECT_EQ(Chunks.Text.count("Creation Time") ? Chunks.Text.at("Creation Time") : "", C.Created);
  }
}

// Loaded before the console input exists: the hotkey is registered once it
// arrives, and the wait is given back with the rest.
TEST_F(HotkeyDriverTest, HotkeyWaitsForTheConsoleInput) {
  Fw.HasConsoleInput = false;
  ASSERT_EQ(Load(Fw), EFI_SUCCESS);
  EXPECT_EQ(Fw.KeyNotifications(), 0u);
  Fw.ConnectConsoleInput();
  EXPECT_EQ(Fw.KeyNotifications(), 4u);
  EXPECT_EQ(Press(Fw), kGreen);
  EXPECT_EQ(Unload(Fw), EFI_SUCCESS);
  ExpectNothingKept(Fw);
}

// A notification the firmware will not withdraw still leads into the
// driver: Unload refuses, and the driver keeps working until it can go.
TEST_F(HotkeyDriverTest, RefusedUnloadKeepsTheDriverWhole) {
  ASSERT_EQ(Load(Fw), EFI_SUCCESS);
  Fw.FailCall("UnregisterKeyNotify", 2, EFI_DEVICE_ERROR);
  EXPECT_EQ(Unload(Fw), EFI_DEVICE_ERROR);
  EXPECT_EQ(Fw.KeyNotifications(), 1u);
  EXPECT_EQ(Press(Fw, EFI_SHIFT_STATE_VALID | EFI_LEFT_CONTROL_PRESSED | EFI_RIGHT_ALT_PRESSED), kGreen);
  EXPECT_EQ(Unload(Fw), EFI_SUCCESS);
  ExpectNothingKept(Fw);
}

// Load, a press and Unload, each firmware call failing in turn, on a first
// volume too small for the file and a second that already holds the name.
// Whatever fails: nothing is kept once the driver is gone, the screen comes
// back, the file on the second volume is whole or absent, the first holds
// nothing, and the square is green exactly when the file was saved.
TEST(HotkeyDriverFaults, EveryCallOfALifeFailingInTurn) {
  const size_t Calls = FailEachCallInTurn([](fake::FakeFirmware &F, const CallFailing &Failing) {
    F.PaintScreen();  // 1024x768
    F.VolumeCount = 2;
    F.Volumes[0].FreeBytes = 400;  // the header fits, the pixels do not
    F.AddFile(kName, {9}, 1);
    UINT32 Square = 0;
    if (!EFI_ERROR(Load(F))) {
      EXPECT_TRUE(F.KeyNotifications() == 4 || !F.ProtocolNotifications.empty()) << "loaded, and no hotkey to come";
      Square = Press(F);
      if (EFI_ERROR(Unload(F))) {
        EXPECT_EQ(Unload(F), EFI_SUCCESS) << "a refused Unload must succeed when asked again";
      }
    }
    ExpectNothingKept(F);
    EXPECT_TRUE(Failing.Nth != 0 || Square == kGreen) << "the good run";
    EXPECT_TRUE(F.FileNames(0).empty() || F.FailedCall == "Delete()") << "a partial file was left";
    EXPECT_EQ(F.FindFile(kName, 1)->Data, std::vector<UINT8>{9});
    std::vector<std::string> Saved = F.FileNames(1);
    Saved.erase(std::find(Saved.begin(), Saved.end(), kName));
    ASSERT_LE(Saved.size(), 1u);
    F.PaintScreen();  // as it was read, whether or not the square went away
    if (!Saved.empty()) ExpectPngOfScreen(F, F.FindFile(Saved[0], 1)->Data, 1024, 768);
    if (Square != 0) {
      EXPECT_EQ(Square == kGreen, !Saved.empty());
    }
  });
  std::printf("[ faults ] %zu lives of the driver, one failed call each\n", Calls);
}

}  // namespace
