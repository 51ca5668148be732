#include "resident/HotkeyDriver.h"

#include "platform/Event.h"
#include "platform/InstalledProtocol.h"
#include "platform/Protocol.h"
#include "platform/ResidentObject.h"
#include "resident/Hotkey.h"
#include "resident/ScreenCapture.h"

EFI_GUID gVistrelHotkeyGuid = VISTREL_HOTKEY_PROTOCOL_GUID;

namespace {

class HotkeyDriver {
 public:
  EFI_STATUS Start(EFI_HANDLE ImageHandle);
  // Withdraws what Start made; on a failure what is left still leads here.
  EFI_STATUS Stop();

 private:
  static EFI_STATUS EFIAPI OnHotkey(EFI_KEY_DATA *KeyData);
  static VOID EFIAPI OnCapture(EFI_EVENT Event, VOID *Context);
  static VOID EFIAPI OnConsoleInput(EFI_EVENT Event, VOID *Context);
  EFI_STATUS RegisterOnConsole();

  // Destroyed in reverse: the hotkey is withdrawn before the events close,
  // and the marker goes last, once nothing of this copy is left to find.
  VISTREL_HOTKEY_PROTOCOL mInterface = {VISTREL_HOTKEY_PROTOCOL_REVISION};
  InstalledProtocol mMarker;
  EFI_HANDLE mVolume = nullptr;  // the volume the image was loaded from
  Event mCaptureEvent;
  Event mConsoleWait;
  VOID *mConsoleWaitRegistration = nullptr;
  Hotkey mHotkey;
  // Captures asked for and captures made. Only the hotkey adds to the one and
  // only the capture to the other, so neither needs a lock, whatever TPL the
  // keyboard notifies at. Their difference is 0, 1 or 2.
  volatile UINTN mAsked = 0;
  volatile UINTN mMade = 0;
};

ResidentObject<HotkeyDriver> mDriver;

// Runs at the input driver's TPL, between its own steps: nothing here but a
// count and a signal. The driver sees when a notification arrives, not when
// the key went down, and keyboards deliver them late and in batches, so
// presses are coalesced instead of timed: any number arriving while a capture
// is pending or running ask for exactly one more after it. Two presses give
// two files whatever the timing; a held key, one capture after another.
EFI_STATUS EFIAPI HotkeyDriver::OnHotkey(EFI_KEY_DATA *KeyData) {
  (void)KeyData;
  HotkeyDriver *Driver = mDriver.Get();
  if (Driver == nullptr) {
    return EFI_SUCCESS;
  }
  const UINTN Owed = Driver->mAsked - Driver->mMade;
  if (Owed < 2) {
    Driver->mAsked = Driver->mAsked + 1;
  }
  // The one more is started by the capture's end; only an idle driver starts
  // one here, and a press it could not start is not owed.
  if (Owed == 0 && EFI_ERROR(Driver->mCaptureEvent.Signal())) {
    Driver->mAsked = Driver->mAsked - 1;
  }
  return EFI_SUCCESS;
}

VOID EFIAPI HotkeyDriver::OnCapture(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  auto *Driver = static_cast<HotkeyDriver *>(Context);
  if (Driver->mAsked == Driver->mMade) {
    return;  // a signal whose capture has been made already
  }
  CaptureWholeScreen(Driver->mVolume);  // the square tells the user how it went
  Driver->mMade = Driver->mMade + 1;
  // Behind whatever else waits at this TPL, the keyboard's own event too.
  if (Driver->mAsked != Driver->mMade && EFI_ERROR(Driver->mCaptureEvent.Signal())) {
    Driver->mMade = Driver->mAsked;  // cannot go on: what is owed is dropped
  }
}

VOID EFIAPI HotkeyDriver::OnConsoleInput(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  auto *Driver = static_cast<HotkeyDriver *>(Context);
  if (!Driver->mHotkey.Registered()) {
    Driver->RegisterOnConsole();  // not yet: the next input device to arrive brings another chance
  }
}

// The console splitter's handle passes the notification on to every
// keyboard, also one plugged in later.
EFI_STATUS HotkeyDriver::RegisterOnConsole() {
  EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *Console = ConsoleInputEx();
  return Console == nullptr ? EFI_NOT_READY : mHotkey.Register(Console, OnHotkey);
}

EFI_STATUS HotkeyDriver::Start(EFI_HANDLE ImageHandle) {
  EFI_STATUS Status = mMarker.Install(ImageHandle, &gVistrelHotkeyGuid, &mInterface);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  // Captures go back where the driver came from, a stick the user carries
  // away, rather than to whatever volume the firmware lists first.
  mVolume = ImageVolume(ImageHandle);
  Status = mCaptureEvent.Create(TPL_CALLBACK, OnCapture, this);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = RegisterOnConsole();
  if (Status != EFI_NOT_READY) {
    return Status;
  }
  // Loaded before the console input exists: register when an input device
  // brings its Simple Text Input Ex.
  Status = mConsoleWait.Create(TPL_CALLBACK, OnConsoleInput, this);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  return mConsoleWait.SignalOnInstall(&gEfiSimpleTextInputExProtocolGuid, &mConsoleWaitRegistration);
}

EFI_STATUS HotkeyDriver::Stop() {
  const EFI_STATUS Status = mHotkey.Unregister();
  if (EFI_ERROR(Status)) {
    return Status;
  }
  return mMarker.Uninstall();
}

}  // namespace

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle) {
  // One copy per boot: a second (loaded again, or from a stick after a
  // Driver#### option) would make two files of every press.
  EFI_STATUS Found = EFI_SUCCESS;
  LocateProtocolOf(&gVistrelHotkeyGuid, &Found);
  if (!EFI_ERROR(Found)) {
    return EFI_ALREADY_STARTED;
  }
  if (Found != EFI_NOT_FOUND) {
    return Found;  // cannot tell: better no hotkey than two
  }
  HotkeyDriver *Driver = mDriver.Construct();
  const EFI_STATUS Status = Driver->Start(ImageHandle);
  if (EFI_ERROR(Status) && !EFI_ERROR(Driver->Stop())) {
    mDriver.Destroy();
    return Status;
  }
  // A notification or marker the firmware would not withdraw still leads
  // here: stay.
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI DriverUnload(EFI_HANDLE ImageHandle) {
  (void)ImageHandle;
  HotkeyDriver *Driver = mDriver.Get();
  if (Driver == nullptr) {
    return EFI_SUCCESS;
  }
  const EFI_STATUS Status = Driver->Stop();
  if (EFI_ERROR(Status)) {
    return Status;
  }
  mDriver.Destroy();
  return EFI_SUCCESS;
}
