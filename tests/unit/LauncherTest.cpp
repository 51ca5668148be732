// The stick's launcher against the fake firmware: the driver loaded from the
// launcher's own volume (the real driver, started by the fake's StartImage),
// what the user is told on every road, the wait, and the firmware's menu
// handed back with EFI_SUCCESS whatever happened.
#include <functional>

#include "launcher/Launcher.h"
#include "platform/DriverFrame.h"
#include "platform/Print.h"
#include "resident/HotkeyDriver.h"
#include "tests/unit/TestSupport.h"

namespace {

constexpr UINT32 kCtrlAlt = EFI_SHIFT_STATE_VALID | EFI_LEFT_CONTROL_PRESSED | EFI_LEFT_ALT_PRESSED;
const std::string kDriver = "\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-hotkey.efi";
const std::string kForms = "\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-forms.efi";

// Volume 0 is an internal disk, first in the firmware's order; volume 1 the
// stick the launcher was started from, holding the driver.
void ArrangeStick(fake::FakeFirmware &F) {
  F.VolumeCount = 2;
  F.Volumes[1].Label = u"STICK";
  F.AddDirectory("\\vistrel", 1);
  F.AddDirectory("\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER, 1);
  F.AddFile(kDriver, {0x4D, 0x5A}, 1);
  F.LoadedImage.DeviceHandle = &F.Volumes[1].HandleTag;
}

// The real driver as the started image, with globals of its own as an image has.
EFI_STATUS StartRealDriver(fake::FakeFirmware &F, EFI_HANDLE Image) {
  const EFI_HANDLE Launcher = gImageHandle;
  const EFI_STATUS Status = RunDriverImage(Image, F.SystemTable(), DriverMain, DriverUnload);
  gImageHandle = Launcher;
  return Status;
}

std::string Launch(fake::FakeFirmware &F) {
  F.ConsoleText.clear();
  EXPECT_EQ(RunBootApplication(F.ImageHandle(), F.SystemTable(), LauncherMain), EFI_SUCCESS);
  EXPECT_EQ(F.CallsOf("SetWatchdogTimer").front(), "SetWatchdogTimer(0)") << "the boot manager's watchdog is off";
  return fake::Narrow(F.ConsoleText);
}

class LauncherTest : public FirmwareTest {
 protected:
  void SetUp() override {
    ArrangeStick(Fw);
    Fw.ImageEntry = [this](EFI_HANDLE Image) { return StartRealDriver(Fw, Image); };
  }
};

// Started twice in one boot: the first load makes the hotkey live and says
// the captures go to this stick, where a press then puts its file; the
// second finds the driver active, says so without claiming where files go,
// and a press still gives one file.
TEST_F(LauncherTest, DriverFromItsOwnStickCapturesThereAndASecondStartChangesNothing) {
  // A key typed before the message is not an answer to it: with none typed
  // after, the wait lasts its ten seconds.
  Fw.TypedKeys.push_back({0, u'x'});
  Fw.KeyDuringWait = false;
  std::string Said = Launch(Fw);
  EXPECT_EQ(Fw.LoadedPaths, std::vector<std::string>{"Pci(2)/" + kDriver});
  EXPECT_NE(Said.find("The hotkey is live"), std::string::npos) << Said;
  EXPECT_NE(Said.find("Captures go to the root of this stick, STICK (62 MiB free)."), std::string::npos) << Said;
  EXPECT_NE(Said.find("Press any key, or wait 10 seconds"), std::string::npos) << Said;
  EXPECT_EQ(Fw.CallsOf("SetTimer"), std::vector<std::string>{"SetTimer(2,100000000)"});
  EXPECT_TRUE(Fw.CallsOf("ReadKeyStroke").empty() && Fw.TypedKeys.empty());
  ASSERT_EQ(Fw.Images.size(), 1u) << "the driver stays";

  Fw.PaintScreen();
  Fw.PressKey(SCAN_F12, kCtrlAlt);
  EXPECT_TRUE(Fw.FileNames(0).empty()) << "the internal disk, first in the firmware's order";
  EXPECT_EQ(Fw.FileNames(1).size(), 2u) << "the driver and a capture on the stick";

  Fw.KeyDuringWait = true;
  Said = Launch(Fw);
  EXPECT_EQ(Fw.CallsOf("ReadKeyStroke").size(), 1u) << "the key that ends the wait is read, not left to the menu";
  EXPECT_NE(Said.find("The hotkey was already active"), std::string::npos) << Said;
  EXPECT_EQ(Said.find("Captures go"), std::string::npos) << "the active copy may write elsewhere";
  EXPECT_EQ(Said.find("could not"), std::string::npos) << Said;
  EXPECT_EQ(Fw.Images.size(), 1u) << "the second copy was unloaded by the firmware";
  Fw.PressKey(SCAN_F12, kCtrlAlt);
  EXPECT_EQ(Fw.FileNames(1).size(), 3u) << "one press, one file";

  // Unloaded, the driver leaves nothing, not even its mark: it loads again.
  for (int Round = 0; Round < 2; Round++) {
    const EFI_HANDLE Loaded = Fw.Images.begin()->first;
    EXPECT_EQ(Fw.Images[Loaded].LoadedImage.Unload(Loaded), EFI_SUCCESS);
    Fw.Images.erase(Loaded);
    EXPECT_TRUE(Fw.Installed.empty() && Fw.KeyNotifications() == 0 && Fw.LiveEvents() == 0);
    EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
    if (Round == 0) {
      EXPECT_NE(Launch(Fw).find("The hotkey is live"), std::string::npos);
    }
  }
}

// Every road says what happened in words, with the status where it failed,
// names the path it looked for, leaves nothing loaded that should not stay,
// and still hands the firmware its menu back.
TEST_F(LauncherTest, EachOutcomeIsSaidAndTheFirmwareGetsItsMenuBack) {
  struct Case {
    const char *What;
    std::function<void(fake::FakeFirmware &)> Arrange;
    std::vector<const char *> Said;
    size_t Loaded;  // images left loaded: the driver, when it is live
  };
  auto SecureBoot = [](fake::FakeFirmware &F) { F.Variables["SecureBoot"] = {1}; };
  auto Shim = [](fake::FakeFirmware &F) {
    static int Loader;
    EFI_GUID Guid = {0x1f492041, 0xfadb, 0x4e59, {0x9e, 0x57, 0x7c, 0xaf, 0xe7, 0x3a, 0x55, 0xab}};
    F.Installed.push_back({&F.ShellHandleTag, Guid, &Loader});
  };
  const std::vector<Case> Cases = {
      {"driver missing", [](fake::FakeFirmware &F) { F.Volumes[1].Files.clear(); },
       {"the driver file is not there", "(EFI_NOT_FOUND, status 0xE)", "It looked for \\vistrel\\"}, 0},
      {"its disk's device path broken (a node shorter than its header)",
       [](fake::FakeFirmware &F) { F.Volumes[1].DevicePath = {HARDWARE_DEVICE_PATH, HW_PCI_DP, 2, 0}; },
       {"it could not tell which disk it was started from", "EFI_NOT_FOUND"}, 0},
      {"refused by Secure Boot", [](fake::FakeFirmware &F) { F.LoadImageVerdict = EFI_SECURITY_VIOLATION; },
       {"Secure Boot refused the driver", "EFI_SECURITY_VIOLATION, status 0x1A", "enrol"}, 0},
      {"the driver's entry fails",
       [](fake::FakeFirmware &F) {
         F.ImageEntry = [](EFI_HANDLE) { return EFI_OUT_OF_RESOURCES; };
         F.ExitDataOnError = true;
       },
       {"no memory left for the driver", "status 0x9"}, 0},
      {"shim under Secure Boot",
       [&](fake::FakeFirmware &F) {
         SecureBoot(F);
         Shim(F);
       },
       {"a shim started it under Secure Boot", "shim frees every image"}, 0},
      {"shim without Secure Boot", [&](fake::FakeFirmware &F) { Shim(F); }, {"The hotkey is live"}, 1},
      {"stick read-only", [](fake::FakeFirmware &F) { F.Volumes[1].ReadOnly = true; },
       {"The hotkey is live", "This stick is read-only, so captures go to the first writable volume"}, 1},
      {"stick full", [](fake::FakeFirmware &F) { F.Volumes[1].FreeBytes = 1000; },
       {"This stick is full, so captures go to the first writable volume"}, 1},
      {"LoadImage says already started: only StartImage's means the driver is active",
       [](fake::FakeFirmware &F) { F.LoadImageVerdict = EFI_ALREADY_STARTED; },
       {"Vistrel could not start its hotkey: the driver did not start\r\n(an EFI error, status 0x14)"}, 0},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware F;
    ArrangeStick(F);
    C.Arrange(F);
    const std::string Said = Launch(F);
    for (const char *Text : C.Said) EXPECT_NE(Said.find(Text), std::string::npos) << Text << " in:\n" << Said;
    EXPECT_EQ(Said.find("already active"), std::string::npos) << Said;
    EXPECT_EQ(Said.find("Captures go") != std::string::npos || Said.find("This stick is") != std::string::npos,
              C.Loaded == 1)
        << "where files go is said only when this stick's copy is live";
    EXPECT_EQ(F.Images.size(), C.Loaded);
    EXPECT_EQ(F.LiveEvents(), 0u);
    EXPECT_EQ(F.LivePoolBlocks(), 0u);
    EXPECT_TRUE(F.Faults.empty());
  }
}

// The walk's offer and the key that answers it: only F or f starts the forms
// tool from the stick, and only where it is there and the stick takes a
// walk's files; anything else hands the menu back with nothing walked. The
// offer stands whether or not the hotkey started.
TEST(LauncherWalk, OnlyFStartsTheWalkAndOnlyWhereTheStickCanTakeIt) {
  const char *kOffer = "Press F to save every settings page to this stick";
  struct Case {
    const char *What;
    CHAR16 Typed;  // during each wait; 0: none, the waits time out
    std::function<void(fake::FakeFirmware &)> Arrange;
    std::vector<const char *> Said;
    bool Walked;
  };
  const std::vector<Case> Cases = {
      {"F", u'F', nullptr, {kOffer, "(walked)\r\n\r\nPress any key, or wait 10 seconds, to go back to the firmware's menus."}, true},
      {"f, the hotkey not started", u'f',
       [](fake::FakeFirmware &F) {
         for (auto File = F.Volumes[1].Files.begin(); File != F.Volumes[1].Files.end();)
           File = File->first.find("HOTKEY") != std::string::npos ? F.Volumes[1].Files.erase(File) : std::next(File);
       },
       {"the driver file is not there", kOffer}, true},
      {"another key", u'g', nullptr, {kOffer}, false},
      {"no key", 0, nullptr, {kOffer}, false},
      {"the walk refused by Secure Boot", u'F',
       [](fake::FakeFirmware &F) {
         F.OnCall = [&F](const std::string &Call) {
           if (Call.find("vistrel-forms.efi") != std::string::npos) F.LoadImageVerdict = EFI_SECURITY_VIOLATION;
         };
       },
       {"Vistrel could not start the settings walk: Secure Boot refused the settings walk\r\n(EFI_SECURITY_VIOLATION",
        "It looked for \\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-forms.efi on this stick.",
        "Press any key, or wait 10 seconds, to go back"},
       false},
      {"the tool missing from the stick", u'F', [&](fake::FakeFirmware &F) { F.Volumes[1].Files.clear(); },
       {"The settings walk is not offered: vistrel-forms.efi is not on this stick.\r\nPress any key"}, false},
      {"a read-only stick", u'F', [](fake::FakeFirmware &F) { F.Volumes[1].ReadOnly = true; },
       {"The settings walk is not offered: this stick is read-only."}, false},
      {"a stick with 3 MiB free", u'F', [](fake::FakeFirmware &F) { F.Volumes[1].FreeBytes = 3u << 20; },
       {"(3 MiB free)", "The settings walk is not offered: this stick has less than 4 MiB free."}, false},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.What);
    fake::FakeFirmware F;
    ArrangeStick(F);
    F.AddFile(kForms, {0x4D, 0x5A}, 1);
    F.KeyDuringWait = false;
    F.OnIdleKeyboard = [&F, &C] {
      if (C.Typed != 0) F.TypedKeys.push_back({0, C.Typed});
    };
    F.ImageEntry = [&F](EFI_HANDLE Image) -> EFI_STATUS {
      if (F.Images[Image].Path.find("vistrel-forms.efi") == std::string::npos) return EFI_SUCCESS;
      Print(STR16("(walked)\n"));
      return EFI_ABORTED;  // its own failure, which it has said itself
    };
    if (C.Arrange) C.Arrange(F);
    const std::string Said = Launch(F);
    for (const char *Text : C.Said) EXPECT_NE(Said.find(Text), std::string::npos) << Text << " in:\n" << Said;
    EXPECT_EQ(Said.find(kOffer) != std::string::npos, Said.find("not offered") == std::string::npos);
    EXPECT_EQ(Said.find("(walked)") != std::string::npos, C.Walked);
    EXPECT_EQ(Said.find("could not start the settings walk") != std::string::npos,
              std::string(C.What).find("refused") != std::string::npos);
    const bool Loaded = std::count(F.LoadedPaths.begin(), F.LoadedPaths.end(), "Pci(2)/" + kForms) == 1;
    EXPECT_EQ(Loaded, C.Walked || std::string(C.What).find("refused") != std::string::npos);
    EXPECT_EQ(F.CallsOf("SetTimer").size(), Loaded ? 2u : 1u) << "a second wait only after a walk was tried";
    EXPECT_EQ(F.LiveEvents(), 0u);
    EXPECT_EQ(F.LivePoolBlocks(), 0u);
    EXPECT_TRUE(F.Faults.empty());
  }
}

// Whatever firmware call fails, on the road that loads the driver and then,
// on F, the walk (which fails on its own): EFI_SUCCESS, nothing kept, no misuse.
void ArrangeStickAndWalk(fake::FakeFirmware &F) {
  ArrangeStick(F);
  F.AddFile(kForms, {0x4D, 0x5A}, 1);
  F.TypedKeys.clear();
  F.KeyDuringWait = false;
  F.OnIdleKeyboard = [&F] { F.TypedKeys.push_back({0, u'F'}); };
  F.ImageEntry = [&F](EFI_HANDLE Image) {
    return F.Images[Image].Path.find("forms") == std::string::npos ? EFI_SUCCESS : EFI_ABORTED;
  };
}

TEST(LauncherFaults, EveryCallOfALaunchFailingInTurn) {
  FailEachCallInTurn([](fake::FakeFirmware &F, const CallFailing &Failing) {
    ArrangeStickAndWalk(F);
    const std::string Said = Launch(F);
    EXPECT_TRUE(Failing.Nth != 0 || F.LoadedPaths.size() == 2u) << "the good run: the driver, then the walk";
    // What stays is the driver once loaded (its entry here always succeeds),
    // and the walk's image when its StartImage itself failed: it never ran.
    std::vector<std::string> Left, Stays;
    for (const auto &Image : F.Images) Left.push_back(Image.second.Path);
    if (std::count(F.LoadedPaths.begin(), F.LoadedPaths.end(), "Pci(2)/" + kDriver) != 0)
      Stays.push_back("Pci(2)/" + kDriver);
    if (Failing.Call == "StartImage()" && std::count(F.Calls.begin(), F.Calls.begin() + Failing.Nth, Failing.Call) == 2)
      Stays.push_back("Pci(2)/" + kForms);
    EXPECT_EQ(Left, Stays);
    EXPECT_TRUE(Said.find("The hotkey is live") == std::string::npos || !Left.empty()) << Said;
    EXPECT_EQ(F.LiveEvents(), 0u);
    EXPECT_EQ(F.LivePoolBlocks(), 0u);
  });
}

}  // namespace
