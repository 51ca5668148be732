#include "resident/HotkeyDriver.h"

#include "platform/Event.h"
#include "platform/ResidentObject.h"
#include "resident/Hotkey.h"
#include "resident/ScreenCapture.h"

namespace {

class HotkeyDriver {
 public:
  EFI_STATUS Start();
  EFI_STATUS Stop() { return mHotkey.Unregister(); }
  BOOLEAN KeepsNotifications() const { return mHotkey.Registered(); }

 private:
  static EFI_STATUS EFIAPI OnHotkey(EFI_KEY_DATA *KeyData);
  static VOID EFIAPI OnCapture(EFI_EVENT Event, VOID *Context);
  static VOID EFIAPI OnCaptureDone(EFI_EVENT Event, VOID *Context);
  static VOID EFIAPI OnConsoleInput(EFI_EVENT Event, VOID *Context);
  EFI_STATUS RegisterOnConsole();

  // Destroyed in reverse: the hotkey is withdrawn before the events close.
  Event mCaptureEvent;
  Event mCaptureDone;
  Event mConsoleWait;
  VOID *mConsoleWaitRegistration = nullptr;
  Hotkey mHotkey;
  volatile BOOLEAN mCapturing = FALSE;
};

ResidentObject<HotkeyDriver> mDriver;

// Runs at the input driver's TPL, between its own steps: nothing here but a
// signal, and only when no capture is running (a press then is dropped).
EFI_STATUS EFIAPI HotkeyDriver::OnHotkey(EFI_KEY_DATA *KeyData) {
  (void)KeyData;
  HotkeyDriver *Driver = mDriver.Get();
  if (Driver != nullptr && !Driver->mCapturing) {
    gBS->SignalEvent(Driver->mCaptureEvent.Get());
  }
  return EFI_SUCCESS;
}

VOID EFIAPI HotkeyDriver::OnCapture(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  auto *Driver = static_cast<HotkeyDriver *>(Context);
  Driver->mCapturing = TRUE;
  CaptureWholeScreen();  // the square tells the user how it went
  // EDK II's keyboards notify from their own TPL_CALLBACK event, which a key
  // pressed meanwhile has queued behind this one: the capture counts as
  // running until an event signalled now, queued behind that, says it ended.
  if (EFI_ERROR(gBS->SignalEvent(Driver->mCaptureDone.Get()))) {
    Driver->mCapturing = FALSE;
  }
}

VOID EFIAPI HotkeyDriver::OnCaptureDone(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  static_cast<HotkeyDriver *>(Context)->mCapturing = FALSE;
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
  VOID *Interface = nullptr;
  if (gST->ConsoleInHandle == nullptr ||
      EFI_ERROR(gBS->OpenProtocol(gST->ConsoleInHandle, &gEfiSimpleTextInputExProtocolGuid, &Interface,
                                  gImageHandle, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL)) ||
      Interface == nullptr) {
    return EFI_NOT_READY;
  }
  return mHotkey.Register(static_cast<EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *>(Interface), OnHotkey);
}

EFI_STATUS HotkeyDriver::Start() {
  EFI_STATUS Status = mCaptureEvent.Create(TPL_CALLBACK, OnCapture, this);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  Status = mCaptureDone.Create(TPL_CALLBACK, OnCaptureDone, this);
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
  return gBS->RegisterProtocolNotify(&gEfiSimpleTextInputExProtocolGuid, mConsoleWait.Get(),
                                     &mConsoleWaitRegistration);
}

}  // namespace

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle) {
  (void)ImageHandle;
  HotkeyDriver *Driver = mDriver.Construct();
  const EFI_STATUS Status = Driver->Start();
  if (EFI_ERROR(Status) && !Driver->KeepsNotifications()) {
    mDriver.Destroy();
    return Status;
  }
  // A notification the firmware would not withdraw still leads here: stay.
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
