// The whole command with firmware calls failing: first each call of a good
// run in turn, then each call that follows a failed write. Whatever fails,
// no pool block or file handle is left behind, no broken capture is left on
// the volume, the console shows the lines of the road taken and the exit
// status is success exactly when the file was written whole.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

#include "app/CaptureCommand.h"
#include "platform/ApplicationFrame.h"
#include "tests/unit/TestSupport.h"

namespace {

const std::string kBanner = "       Screenshot Capturing ...      ";
const std::string kSavingFileError = "        Saving File Error !!!        ";
const std::string kClosing = "OutputString(\r\nGenerate File at:";
const std::string kTarget = "\\SHOTS\\VISTREL_240115_103045.BMP";

struct RunSetup {
  const char *What;
  fake::ShellKind Shell;
  bool OldCapture;  // a longer file already has the capture's name
};

const RunSetup kSetups[] = {
    {"new file", fake::ShellKind::ShellProtocol, false},
    {"longer file of the same name", fake::ShellKind::ShellProtocol, true},
    {"older shell", fake::ShellKind::Environment2OnOtherHandle, false},
};

void Arrange(fake::FakeFirmware &Fw, const RunSetup &S) {
  Fw.Shell = S.Shell;
  Fw.PaintScreen();
  Fw.AddDirectory("\\Shots");
  Fw.CurrentDir = u"FS0:\\Shots";
  Fw.AddFile("\\Shots\\notes.txt", {1, 2, 3});
  if (S.OldCapture) Fw.AddFile(kTarget, std::vector<UINT8>(2000000, 0x77));
}

bool StartsWith(const std::string &Text, const std::string &Prefix) { return Text.rfind(Prefix, 0) == 0; }

bool IsConsoleCall(const std::string &Call) {
  for (const char *Kind : {"OutputString(", "SetAttribute(", "SetCursorPosition(", "ClearScreen(", "EnableCursor("})
    if (StartsWith(Call, Kind)) return true;
  return false;
}

// Calls whose failure the command has no use for: the console's, the pause,
// and giving things back (the fake still frees and closes).
bool OutcomeMustNotChange(const std::string &Call) {
  return IsConsoleCall(Call) || StartsWith(Call, "Stall(") || StartsWith(Call, "FreePool(") ||
         StartsWith(Call, "Close(");
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  struct Result {
    EFI_STATUS Status;
    std::vector<std::string> Calls;
    std::u16string Shown;  // what reached the console
  };

  // One run on a fresh firmware; Inject adds the failures. Checks what must
  // hold on every road and leaves the rest to the caller.
  Result RunOnce(const RunSetup &S, const std::function<void(fake::FakeFirmware &)> &Inject,
                 const std::set<size_t> &Failed) {
    fake::FakeFirmware Fw;
    Arrange(Fw, S);
    const std::map<std::string, fake::FakeFile> Before = Fw.Volume;
    Inject(Fw);
    const EFI_STATUS Status = RunShellApplication(Fw.ImageHandle(), Fw.SystemTable(), CaptureCommandMain);
    const std::vector<std::string> &Calls = Fw.Calls;
    auto Index = [&](const std::string &Prefix) {
      return static_cast<size_t>(
          std::find_if(Calls.begin(), Calls.end(), [&](const std::string &C) { return StartsWith(C, Prefix); }) -
          Calls.begin());
    };
    auto Called = [&](const std::string &Prefix) { return Index(Prefix) < Calls.size(); };

    EXPECT_EQ(Fw.Faults, std::vector<std::string>{});
    EXPECT_EQ(Fw.LivePoolBlocks(), 0u) << "pool memory was left behind";
    EXPECT_EQ(Fw.OpenFileHandles(), 0u) << "a file handle was left open";
    EXPECT_TRUE(Status == EFI_SUCCESS || Status == EFI_DEVICE_ERROR || Status == EFI_OUT_OF_RESOURCES ||
                Status == EFI_NOT_FOUND || Status == EFI_VOLUME_FULL)
        << std::hex << Status;

    // The closing line is always the last text, the cursor comes back after it.
    std::vector<std::string> Console;
    std::copy_if(Calls.begin(), Calls.end(), std::back_inserter(Console), IsConsoleCall);
    EXPECT_GE(Console.size(), 3u);
    if (Console.size() < 3) return {Status, Calls, Fw.ConsoleText};
    EXPECT_TRUE(Called("EnableCursor(FALSE)"));
    EXPECT_EQ(Console.back(), "EnableCursor(TRUE)");
    const std::string Closing = Console[Console.size() - 2];
    EXPECT_TRUE(StartsWith(Closing, kClosing)) << Closing;
    const size_t ClosingAt = Index(kClosing);
    const std::u16string Shown = Fw.ConsoleText;
    const std::u16string ClosingText = u"\r\nGenerate File at:" + std::u16string(Closing.begin() + kClosing.size(),
                                                                                  Closing.end() - 1);
    if (Failed.count(ClosingAt) == 0) {
      EXPECT_TRUE(Shown.size() >= ClosingText.size() &&
                  Shown.compare(Shown.size() - ClosingText.size(), ClosingText.size(), ClosingText) == 0);
    }

    // The road's lines: the banner once the frame was read, the error line
    // when a capture was attempted and not saved, the allocation message
    // only for a failure for want of memory.
    const bool Attempted = Called("Blt(");
    const bool Read = Attempted && Failed.count(Index("Blt(")) == 0;
    EXPECT_EQ(Called("OutputString(" + kBanner), Read);
    EXPECT_EQ(Called("OutputString(" + kSavingFileError), Attempted && Status != EFI_SUCCESS);
    EXPECT_EQ(Called("ClearScreen("), Attempted);
    if (Called("OutputString(Error Allocate")) {
      EXPECT_EQ(Status, EFI_OUT_OF_RESOURCES);
    }
    if (Attempted) {
      EXPECT_LT(Index("EnableCursor(FALSE)"), Index("Blt("));
    }

    // The volume: the named file holds the whole capture, or no capture was
    // made and the file is as it was (or gone); nothing else changed. A
    // firmware that refuses to delete the broken file is the one exception:
    // nothing is left to remove it with, and the status still says failure.
    bool Valid = false;
    const std::string Path =
        Fw.ResolvePath("", std::u16string(Closing.begin() + kClosing.size(), Closing.end() - 1), &Valid);
    EXPECT_TRUE(Valid);
    for (const auto &Entry : Before) {
      if (Entry.first == Path) continue;
      const fake::FakeFile *Now = Fw.FindFile(Entry.first);
      EXPECT_TRUE(Now != nullptr && Now->Data == Entry.second.Data) << Entry.first << " changed";
    }
    for (const auto &Entry : Fw.Volume)
      EXPECT_TRUE(Entry.first == Path || Before.count(Entry.first) != 0) << Entry.first << " appeared";
    const fake::FakeFile *Capture = Fw.FindFile(Path);
    if (Status == EFI_SUCCESS) {
      EXPECT_TRUE(Path == kTarget || Path == "\\VISTREL_240115_103045.BMP") << Path;
      EXPECT_NE(Capture, nullptr);
      if (Capture != nullptr) ExpectCaptureOfScreen(Fw, Capture->Data);
    } else if (Capture != nullptr && Failed.count(Index("Delete(")) == 0) {
      const auto Old = Before.find(Path);
      EXPECT_TRUE(Old != Before.end() && Old->second.Data == Capture->Data) << "a broken capture was left";
    }
    return {Status, Calls, Fw.ConsoleText};
  }
};

TEST_F(FaultInjectionTest, EveryCallOfAGoodRunFailingInTurn) {
  unsigned Injected = 0;
  for (const RunSetup &S : kSetups) {
    SCOPED_TRACE(S.What);
    const Result Good = RunOnce(S, [](fake::FakeFirmware &) {}, {});
    ASSERT_EQ(Good.Status, EFI_SUCCESS);
    const std::string GoodClosing = *std::find_if(Good.Calls.begin(), Good.Calls.end(),
                                                  [](const std::string &C) { return StartsWith(C, kClosing); });
    for (unsigned Nth = 1; Nth <= Good.Calls.size(); Nth++) {
      const std::string &Call = Good.Calls[Nth - 1];
      SCOPED_TRACE(testing::Message() << "call " << Nth << ": " << Call);
      const EFI_STATUS Status = StartsWith(Call, "AllocatePool(") ? EFI_OUT_OF_RESOURCES : EFI_DEVICE_ERROR;
      const Result Run = RunOnce(S, [&](fake::FakeFirmware &Fw) { Fw.FailNthCall(Nth, Status); }, {Nth - 1});
      ASSERT_EQ(Run.Calls[Nth - 1], Call) << "the runs must be alike up to the failure";
      Injected++;
      // The command's own buffers: the path, the image record and its
      // pixels, the BMP. Each says what it could not have.
      for (const char *Size : {"66", "32", "1920000", "1440054"})
        if (Call == std::string("AllocatePool(") + Size + ")") {
          EXPECT_NE(Run.Shown.find(u"Error Allocate " + std::u16string(Size, Size + std::strlen(Size)) + u" Bytes\r\n"),
                    std::u16string::npos);
        }
      if (OutcomeMustNotChange(Call)) {
        EXPECT_EQ(Run.Status, EFI_SUCCESS);
        EXPECT_NE(std::find(Run.Calls.begin(), Run.Calls.end(), GoodClosing), Run.Calls.end());
      }
    }
  }
  std::printf("[ faults ] %u runs, one failed call each\n", Injected);
}

// The failure road has its own calls: the file's information, its deletion,
// the error line. A second failure there must not leave anything behind
// either, nor turn the failure into success.
TEST_F(FaultInjectionTest, EveryCallAfterAFailedWriteFailingInTurn) {
  unsigned Injected = 0;
  for (const RunSetup &S : kSetups) {
    SCOPED_TRACE(S.What);
    auto FailWrite = [](fake::FakeFirmware &Fw) { Fw.FailCall("Write", 1, EFI_VOLUME_FULL); };
    const Result Base = RunOnce(S, FailWrite, {});
    ASSERT_EQ(Base.Status, EFI_VOLUME_FULL);
    const size_t Write = static_cast<size_t>(
        std::find_if(Base.Calls.begin(), Base.Calls.end(), [](const std::string &C) { return StartsWith(C, "Write("); }) -
        Base.Calls.begin());
    for (unsigned Nth = static_cast<unsigned>(Write) + 2; Nth <= Base.Calls.size(); Nth++) {
      const std::string &Call = Base.Calls[Nth - 1];
      SCOPED_TRACE(testing::Message() << "call " << Nth << ": " << Call);
      const EFI_STATUS Status = StartsWith(Call, "AllocatePool(") ? EFI_OUT_OF_RESOURCES : EFI_DEVICE_ERROR;
      const Result Run = RunOnce(
          S,
          [&](fake::FakeFirmware &Fw) {
            FailWrite(Fw);
            Fw.FailNthCall(Nth, Status);
          },
          {Write, Nth - 1});
      Injected++;
      EXPECT_EQ(Run.Status, EFI_VOLUME_FULL);
    }
  }
  std::printf("[ faults ] %u runs, a failed write and one more failed call each\n", Injected);
}

}  // namespace
