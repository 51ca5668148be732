// What became of each form the walk reached, as the index tells it.
#pragma once

#include "platform/Hii.h"

// How long a browser may leave the walk's input unread before the walk takes
// it for one that reads the keyboards itself.
constexpr UINTN kUnreadInputSeconds = 5;

enum class FORM_OUTCOME : UINT8 {
  Shown,             // shown and left with ESC
  SkippedModal,      // a modal form: ESC cannot leave it
  SkippedFrontPage,  // in the front page's form set, which ignores ESC
  Failed,            // SendForm refused it, no screen came, or a screen could not be saved
  AnsweredNo,        // it asked to save changes and got 'N'; the walk stopped
  KeyboardGivenBack,  // not even 'N' ended it; the walk stopped
  ActionRequested,   // SendForm asked for an action, not taken; the walk stopped
  Refused,           // SendForm failed without reading a key, as a browser busy with its own
                     // setup does; the walk stopped
  KeyboardOnly,      // the browser read only the real keyboard: saved from a timer, left by a
                     // person; the walk stopped
  ReadAsText,        // -text: its questions read, the form not shown
};

struct FORM_RECORD {
  UINTN Form = 0;  // its index in the listing
  FORM_OUTCOME Outcome = FORM_OUTCOME::Shown;
  UINTN Screens = 0;       // saved, named from the form's stem
  BOOLEAN Cut = FALSE;     // it had more screens than were saved
  EFI_STATUS Status = EFI_SUCCESS;  // SendForm's, or why a screen was not saved
  EFI_BROWSER_ACTION_REQUEST Action = kBrowserActionRequestNone;
};

inline BOOLEAN IsSkipped(FORM_OUTCOME Outcome) {
  return Outcome == FORM_OUTCOME::SkippedModal || Outcome == FORM_OUTCOME::SkippedFrontPage;
}
