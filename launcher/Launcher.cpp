#include "launcher/Launcher.h"

#include "fileio/VolumeInfo.h"
#include "image/PngText.h"
#include "platform/DevicePath.h"
#include "platform/Event.h"
#include "platform/ImageLoad.h"
#include "platform/Print.h"
#include "platform/SecureBoot.h"

namespace {

constexpr UINT64 kTicksPerSecond = 10000000;  // SetTimer counts 100 ns

// A failure in the user's words: what happened and what to do about it.
struct FAILURE_TEXT {
  EFI_STATUS Status;
  const char *Name;
  const char16_t *What;
  const char16_t *Next;
};

constexpr char16_t kRefusedNext[] =
    u"Turn Secure Boot off in the firmware's setup for this session, or enrol\n"
    u"the key the stick was signed with.\n";
constexpr char16_t kCopyAgainNext[] = u"The file may be damaged: copy the stick's files again.\n";
constexpr char16_t kRetryNext[] = u"Restart the PC and try again; if it fails again, report the status above.\n";

const FAILURE_TEXT kFailures[] = {
    {EFI_NOT_FOUND, "EFI_NOT_FOUND", u"the driver file is not there",
     u"Copy the stick's files again, folders and all (README.TXT says how).\n"},
    {EFI_SECURITY_VIOLATION, "EFI_SECURITY_VIOLATION", u"Secure Boot refused the driver", kRefusedNext},
    {EFI_ACCESS_DENIED, "EFI_ACCESS_DENIED", u"Secure Boot refused the driver", kRefusedNext},
    {EFI_LOAD_ERROR, "EFI_LOAD_ERROR", u"the firmware could not load the driver", kCopyAgainNext},
    {EFI_UNSUPPORTED, "EFI_UNSUPPORTED", u"the firmware could not load the driver", kCopyAgainNext},
    {EFI_OUT_OF_RESOURCES, "EFI_OUT_OF_RESOURCES", u"the firmware had no memory left for the driver",
     u"Restart the PC and start the stick first.\n"},
};
const FAILURE_TEXT kOtherFailure = {0, "an EFI error", u"the driver did not start", kRetryNext};

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
const CHAR16 *DriverPath() { return STR16(VISTREL_DRIVER_PATH); }

// What and Next are the project's own text; Next may span lines.
VOID PrintFailure(EFI_STATUS Status, const char16_t *What, const char16_t *Next) {
  Print(STR16("Vistrel could not start its hotkey: %s\n(%a, status 0x%X).\n"), Text16(What),
        DescribeFailure(Status).Name, static_cast<UINT32>(Status & ~kEfiErrorBit));
  Print(STR16("It looked for %s on this stick.\n"), DriverPath());
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

// Loads and starts the driver; prints the outcome.
VOID StartHotkey(EFI_HANDLE ImageHandle) {
  VOID *Interface = nullptr;
  EFI_STATUS Status = gBS->OpenProtocol(ImageHandle, &gEfiLoadedImageProtocolGuid, &Interface, ImageHandle, nullptr,
                                        EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  EFI_HANDLE Volume =
      EFI_ERROR(Status) || Interface == nullptr ? nullptr : static_cast<EFI_LOADED_IMAGE_PROTOCOL *>(Interface)->DeviceHandle;
  if (ShimLoadsImages()) {
    PrintFailure(EFI_UNSUPPORTED, u"a shim started it under Secure Boot",
                 u"shim frees every image it starts, so the driver could not stay in memory.\n"
                 u"Start the stick itself from the firmware's boot menu, with Secure Boot off\n"
                 u"for this session or your own key enrolled.\n");
    return;
  }
  // No volume, no usable device path, or no pool for the new one.
  PoolBuffer<UINT8> Path = BuildFileDevicePath(Volume, DriverPath());
  if (!Path) {
    PrintFailure(EFI_NOT_FOUND, u"it could not tell which disk it was started from", kRetryNext);
    return;
  }
  IMAGE_STEP Step = ImageStepLoad;
  Status = LoadAndStartImage(ImageHandle, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL *>(Path.Get()), &Step);
  if (Status == EFI_ALREADY_STARTED && Step == ImageStepStart) {
    // The active copy may have come from another disk: where its files go is
    // not this stick's to say.
    Print(STR16("The hotkey was already active: it was loaded earlier since the PC\n"
                "started, and this start changed nothing. Press Ctrl+Alt+F12 on any\n"
                "firmware screen to save it as a PNG.\n"));
    return;
  }
  if (EFI_ERROR(Status)) {
    const FAILURE_TEXT &Text = DescribeFailure(Status);
    PrintFailure(Status, Text.What, Text.Next);
    return;
  }
  Print(STR16("The hotkey is live: press Ctrl+Alt+F12 on any firmware screen to save\n"
              "it as a PNG.\n"));
  PrintWhereFilesGo(Volume);
  Print(STR16("It stays live until the PC restarts: restart to stop it.\n"));
}

// A key, or the timer; the key is read so that it does not reach the
// firmware's menu next.
VOID WaitForKeyOrTimeout() {
  EFI_SIMPLE_TEXT_IN_PROTOCOL *Input = gST->ConIn;
  Event Timer;
  if (EFI_ERROR(Timer.CreateTimer()) ||
      EFI_ERROR(gBS->SetTimer(Timer.Get(), TimerRelative, kLauncherWaitSeconds * kTicksPerSecond))) {
    gBS->Stall(kLauncherWaitSeconds * 1000000);
    return;
  }
  EFI_EVENT Events[2] = {Timer.Get(), nullptr};
  UINTN Count = 1;
  if (Input != nullptr && !EFI_ERROR(Input->Reset(Input, FALSE))) {
    Events[Count++] = Input->WaitForKey;
  }
  UINTN Signalled = 0;
  if (!EFI_ERROR(gBS->WaitForEvent(Count, Events, &Signalled)) && Count == 2 && Signalled == 1) {
    EFI_INPUT_KEY Key;
    Input->ReadKeyStroke(Input, &Key);
  }
}

}  // namespace

EFI_STATUS LauncherMain(EFI_HANDLE ImageHandle) {
  // EDK II's boot manager arms a five-minute watchdog for a boot option; the
  // firmware menus the user goes on to must not be cut short by it.
  gBS->SetWatchdogTimer(0, 0, 0, nullptr);
  gST->ConOut->ClearScreen(gST->ConOut);
  Print(STR16("Vistrel %a: screenshots of firmware screens\n\n"), VISTREL_VERSION);
  StartHotkey(ImageHandle);
  Print(STR16("\nPress any key, or wait %u seconds, to hand the PC back to its firmware.\n"
              "Then open the screen you want from the firmware's menus.\n"),
        static_cast<UINT32>(kLauncherWaitSeconds));
  WaitForKeyOrTimeout();
  return EFI_SUCCESS;
}

// The boot application's entry, as the frame calls it.
EFI_STATUS BootApplicationMain(EFI_HANDLE ImageHandle) { return LauncherMain(ImageHandle); }
