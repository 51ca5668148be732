// Ctrl+Alt+F12, with Ctrl and Alt on either side, as keystroke notifications.
#pragma once

#include "platform/KeyNotification.h"

class Hotkey {
 public:
  // Registers each Ctrl and Alt pairing with Input, whose firmware matches a
  // shift state exactly. When one fails, those made are withdrawn again and
  // its status returned; one that cannot be withdrawn stays (Registered()).
  EFI_STATUS Register(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *Input, EFI_KEY_NOTIFY_FUNCTION Notify);

  // Withdraws them all; on a failure the ones left stay registered and their
  // function must stay in memory.
  EFI_STATUS Unregister();

  // Whether any notification is in place.
  BOOLEAN Registered() const;

 private:
  static constexpr UINTN kPairings = 4;
  KeyNotification mPairings[kPairings];
};
