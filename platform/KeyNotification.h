// Move-only owner of one keystroke notification on a Simple Text Input Ex
// protocol: unregistered on every road.
#pragma once

#include "platform/Efi.h"

class KeyNotification {
 public:
  KeyNotification() = default;
  ~KeyNotification() { Unregister(); }
  KeyNotification(const KeyNotification &) = delete;
  KeyNotification &operator=(const KeyNotification &) = delete;

  // Notify runs (at the input driver's TPL) each time Key is pressed.
  // Returns RegisterKeyNotify's status; the owner must be empty.
  EFI_STATUS Register(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *Input, EFI_KEY_DATA Key, EFI_KEY_NOTIFY_FUNCTION Notify) {
    VOID *Handle = nullptr;
    const EFI_STATUS Status = Input->RegisterKeyNotify(Input, &Key, Notify, &Handle);
    if (!EFI_ERROR(Status)) {
      mInput = Input;
      mHandle = Handle;
    }
    return Status;
  }

  // EFI_SUCCESS once nothing is registered. On a failure the registration
  // stays, and the caller must keep the notification function in memory.
  EFI_STATUS Unregister() {
    if (mInput == nullptr) {
      return EFI_SUCCESS;
    }
    const EFI_STATUS Status = mInput->UnregisterKeyNotify(mInput, mHandle);
    if (!EFI_ERROR(Status)) {
      mInput = nullptr;
      mHandle = nullptr;
    }
    return Status;
  }

  BOOLEAN Registered() const { return mInput != nullptr; }

 private:
  EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *mInput = nullptr;
  VOID *mHandle = nullptr;
};
