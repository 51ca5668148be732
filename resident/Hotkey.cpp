#include "resident/Hotkey.h"

namespace {

constexpr UINT32 kCtrl[] = {EFI_LEFT_CONTROL_PRESSED, EFI_RIGHT_CONTROL_PRESSED};
constexpr UINT32 kAlt[] = {EFI_LEFT_ALT_PRESSED, EFI_RIGHT_ALT_PRESSED};

}  // namespace

EFI_STATUS Hotkey::Register(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *Input, EFI_KEY_NOTIFY_FUNCTION Notify) {
  for (UINTN Index = 0; Index < kPairings; Index++) {
    EFI_KEY_DATA Key = {};
    Key.Key.ScanCode = SCAN_F12;
    Key.KeyState.KeyShiftState = EFI_SHIFT_STATE_VALID | kCtrl[Index / 2] | kAlt[Index % 2];
    const EFI_STATUS Status = mPairings[Index].Register(Input, Key, Notify);
    if (EFI_ERROR(Status)) {
      Unregister();
      return Status;
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS Hotkey::Unregister() {
  EFI_STATUS Result = EFI_SUCCESS;
  for (KeyNotification &Pairing : mPairings) {
    const EFI_STATUS Status = Pairing.Unregister();
    if (EFI_ERROR(Status)) {
      Result = Status;
    }
  }
  return Result;
}

BOOLEAN Hotkey::Registered() const {
  for (const KeyNotification &Pairing : mPairings) {
    // cppcheck-suppress useStlAlgorithm ; the target has no <algorithm>
    if (Pairing.Registered()) {
      return TRUE;
    }
  }
  return FALSE;
}
