#include "launcher/Launcher.h"

#include "fileio/VolumeInfo.h"
#include "image/PngText.h"
#include "platform/DevicePath.h"
#include "platform/ConsoleInput.h"
#include "platform/Firmware.h"
#include "platform/ImageLoad.h"
#include "platform/Print.h"
#include "platform/Protocol.h"
#include "platform/SecureBoot.h"
#include "platform/Text.h"

namespace {

// A failure in the user's words: what happened and what to do about it.
// What names the image with %s: "driver" or "settings walk".
struct FAILURE_TEXT {
  EFI_STATUS Status;
  const char16_t *What;
  const char16_t *Next;
};

constexpr char16_t kRefusedNext[] =
    u"Turn Secure Boot off in the firmware's setup for this session, or enrol\n"
    u"the key the stick was signed with.\n";
constexpr char16_t kCopyAgainNext[] = u"The file may be damaged: copy the stick's files again.\n";
constexpr char16_t kRetryNext[] = u"Restart the PC and try again; if it fails again, report the status above.\n";

const FAILURE_TEXT kFailures[] = {
    {EFI_NOT_FOUND, u"the %s file is not there",
     u"Copy the stick's files again, folders and all (README.TXT says how).\n"},
    {EFI_SECURITY_VIOLATION, u"Secure Boot refused the %s", kRefusedNext},
    {EFI_ACCESS_DENIED, u"Secure Boot refused the %s", kRefusedNext},
    {EFI_LOAD_ERROR, u"the firmware could not load the %s", kCopyAgainNext},
    {EFI_UNSUPPORTED, u"the firmware could not load the %s", kCopyAgainNext},
    {EFI_OUT_OF_RESOURCES, u"the firmware had no memory left for the %s",
     u"Restart the PC and start the stick first.\n"},
};
const FAILURE_TEXT kOtherFailure = {0, u"the %s did not start", kRetryNext};

// The image being started, as its failures name it.
struct STARTED_IMAGE {
  const CHAR16 *Purpose;  // "its hotkey"
  const CHAR16 *Noun;     // "driver"
  const CHAR16 *Path;     // on the stick
};

const FAILURE_TEXT &DescribeFailure(EFI_STATUS Status) {
  for (const FAILURE_TEXT &Text : kFailures) {
    // cppcheck-suppress useStlAlgorithm ; the target has no <algorithm>
    if (Text.Status == Status) {
      return Text;
    }
  }
  return kOtherFailure;
}

const CHAR16 *Text16(const char16_t *Text) { return reinterpret_cast<const CHAR16 *>(Text); }

const STARTED_IMAGE kDriver = {STR16("its hotkey"), STR16("driver"), STR16(VISTREL_DRIVER_PATH)};
const STARTED_IMAGE kForms = {STR16("the settings walk"), STR16("settings walk"), STR16(VISTREL_FORMS_PATH)};

// What and Next are the project's own text; Next may span lines.
VOID PrintFailure(const STARTED_IMAGE &Image, EFI_STATUS Status, const char16_t *What, const char16_t *Next) {
  Print(STR16("Vistrel could not start %s: "), Image.Purpose);
  Print(Text16(What), Image.Noun);
  // Named where the failure is one of the known ones, as the texts above it are.
  const char *Name = &DescribeFailure(Status) == &kOtherFailure ? nullptr : StatusName(Status);
  Print(STR16("\n(%a, status 0x%X).\n"), Name != nullptr ? Name : "an EFI error",
        static_cast<UINT32>(Status & ~kEfiErrorBit));
  Print(STR16("It looked for %s on this stick.\n"), Image.Path);
  Print(Text16(Next));
}

// Where captures will go, as far as the stick itself can tell.
VOID PrintWhereFilesGo(EFI_HANDLE Volume) {
  VOLUME_INFO Info;
  if (Volume == nullptr || EFI_ERROR(ReadVolumeInfo(Volume, &Info))) {
    Print(STR16("Captures go to this stick when it takes them, otherwise to the first\n"
                "writable volume the firmware lists.\n"));
  } else if (Info.ReadOnly) {
    Print(STR16("This stick is read-only, so captures go to the first writable volume\n"
                "the firmware lists instead.\n"));
  } else if (Info.FreeBytes < kLauncherLeastFreeBytes) {
    Print(STR16("This stick is full, so captures go to the first writable volume the\n"
                "firmware lists instead.\n"));
  } else {
    Print(STR16("Captures go to the root of this stick%s%s (%lu MiB free).\n"),
          Info.Label[0] != 0 ? STR16(", ") : STR16(""), Info.Label, Info.FreeBytes / (UINT64{1024} * 1024));
  }
}

// Loads and starts Image from Volume: StartImage's or LoadImage's status,
// with *Step saying which. A failure to load is said here.
EFI_STATUS StartFromStick(EFI_HANDLE ImageHandle, EFI_HANDLE Volume, const STARTED_IMAGE &Image, IMAGE_STEP *Step) {
  *Step = ImageStepLoad;
  // No volume, no usable device path, or no pool for the new one.
  PoolBuffer<UINT8> Path = BuildFileDevicePath(Volume, Image.Path);
  if (!Path) {
    PrintFailure(Image, EFI_NOT_FOUND, u"it could not tell which disk it was started from", kRetryNext);
    return EFI_NOT_FOUND;
  }
  const EFI_STATUS Status =
      LoadAndStartImage(ImageHandle, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL *>(Path.Get()), Step);
  if (EFI_ERROR(Status) && *Step == ImageStepLoad) {
    const FAILURE_TEXT &Text = DescribeFailure(Status);
    PrintFailure(Image, Status, Text.What, Text.Next);
  }
  return Status;
}

// Loads and starts the driver; prints the outcome.
VOID StartHotkey(EFI_HANDLE ImageHandle, EFI_HANDLE Volume) {
  if (ShimLoadsImages()) {
    PrintFailure(kDriver, EFI_UNSUPPORTED, u"a shim started it under Secure Boot",
                 u"shim frees every image it starts, so the driver could not stay in memory.\n"
                 u"Start the stick itself from the firmware's boot menu, with Secure Boot off\n"
                 u"for this session or your own key enrolled.\n");
    return;
  }
  IMAGE_STEP Step = ImageStepLoad;
  const EFI_STATUS Status = StartFromStick(ImageHandle, Volume, kDriver, &Step);
  if (Status == EFI_ALREADY_STARTED && Step == ImageStepStart) {
    // The active copy may have come from another disk: where its files go is
    // not this stick's to say.
    Print(STR16("The hotkey was already active: it was loaded earlier since the PC\n"
                "started, and this start changed nothing. Press Ctrl+Alt+F12 on any\n"
                "firmware screen to save it as a PNG.\n"));
    return;
  }
  if (EFI_ERROR(Status)) {
    if (Step == ImageStepStart) {
      const FAILURE_TEXT &Text = DescribeFailure(Status);
      PrintFailure(kDriver, Status, Text.What, Text.Next);
    }
    return;
  }
  Print(STR16("The hotkey is live: press Ctrl+Alt+F12 on any firmware screen to save\n"
              "it as a PNG.\n"));
  PrintWhereFilesGo(Volume);
  Print(STR16("It stays live until the PC restarts: restart to stop it.\n"));
}

// Why the settings walk cannot run from this stick, or null when it can.
const CHAR16 *WhyNoWalk(EFI_HANDLE Volume) {
  VOLUME_INFO Info;
  if (Volume == nullptr || EFI_ERROR(ReadVolumeInfo(Volume, &Info))) {
    return STR16("this stick cannot say how much room it has");
  }
  if (!VolumeHoldsFile(Volume, kForms.Path)) {
    return STR16("vistrel-forms.efi is not on this stick");
  }
  if (Info.ReadOnly) {
    return STR16("this stick is read-only");
  }
  if (Info.FreeBytes < kLauncherWalkLeastFreeBytes) {
    return STR16("this stick has less than 4 MiB free");
  }
  return nullptr;
}

}  // namespace

EFI_STATUS LauncherMain(EFI_HANDLE ImageHandle) {
  // The firmware menus the user goes on to must not be cut short by the boot
  // manager's watchdog.
  DisableWatchdog();
  ClearConsole();
  Print(STR16("Vistrel %a: screenshots of firmware screens\n\n"), VISTREL_VERSION);
  EFI_HANDLE Volume = ImageVolume(ImageHandle);
  StartHotkey(ImageHandle, Volume);
  const CHAR16 *NoWalk = WhyNoWalk(Volume);
  if (NoWalk != nullptr) {
    Print(STR16("\nThe settings walk is not offered: %s.\n"
                "Press any key, or wait %u seconds, to hand the PC back to its firmware.\n"
                "Then open the screen you want from the firmware's menus.\n"),
          NoWalk, static_cast<UINT32>(kLauncherWaitSeconds));
    WaitForKeyOrTimeout(kLauncherWaitSeconds);
    return EFI_SUCCESS;
  }
  Print(STR16("\nPress F to save every settings page to this stick (a minute or two; it\n"
              "presses only ESC, Page Down and at most one N; ESC stops it), or any other\n"
              "key, or wait %u seconds, to go back to the firmware's menus.\n"),
        static_cast<UINT32>(kLauncherWaitSeconds));
  const EFI_INPUT_KEY Key = WaitForKeyOrTimeout(kLauncherWaitSeconds);
  if (Key.ScanCode == SCAN_NULL && (Key.UnicodeChar == 'F' || Key.UnicodeChar == 'f')) {
    IMAGE_STEP Step = ImageStepLoad;
    // The walk prints its own summary, or why it could not run.
    StartFromStick(ImageHandle, Volume, kForms, &Step);
    Print(STR16("\nPress any key, or wait %u seconds, to go back to the firmware's menus.\n"),
          static_cast<UINT32>(kLauncherWaitSeconds));
    WaitForKeyOrTimeout(kLauncherWaitSeconds);
  }
  return EFI_SUCCESS;
}

// The boot application's entry, as the frame calls it.
EFI_STATUS BootApplicationMain(EFI_HANDLE ImageHandle) { return LauncherMain(ImageHandle); }
