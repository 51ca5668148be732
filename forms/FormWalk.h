// The walk: each form of the chosen form sets shown in turn with the form
// browser, fed by the tool's own input, its screens saved and its record
// written to the index as it goes.
#pragma once

#include "forms/FormIndex.h"
#include "forms/FormInput.h"
#include "forms/FormScreens.h"
#include "forms/FormSettings.h"
#include "platform/ConsoleInput.h"

class FormWalk {
 public:
  // Keyboard is the firmware's input: a person's ESC there between forms
  // ends the walk. The walk prints only between forms (the console is the
  // screen being captured), each time with the console as Console saved it.
  // Without a browser (and screens) no form is shown: the walk reads each
  // form set's settings alone. Settings reads each form set's questions once
  // its forms were shown, as some drivers fill them in when a page opens.
  FormWalk(const FormList *List, EFI_FORM_BROWSER2_PROTOCOL *Browser, FormScreens *Screens, FormIndex *Index,
           EFI_SIMPLE_TEXT_IN_PROTOCOL *Keyboard, const ConsoleOutputState *Console, FormSettings *Settings)
      : mList(List),
        mBrowser(Browser),
        mScreens(Screens),
        mIndex(Index),
        mKeyboard(Keyboard),
        mConsole(Console),
        mSettings(Settings) {}

  // Walks form sets First to Last - 1, a line per form set on the console.
  // Returns EFI_SUCCESS when every form was shown or skipped; EFI_ABORTED
  // when the walk stopped (a person's ESC, a form that asked for more than
  // ESC, an action request, a browser that read only the real keyboard); a
  // screen's or the index's write error (a full volume), or the status of a
  // browser that refused to show a form, which stop it too; otherwise the
  // first failed form's status.
  EFI_STATUS Run(UINTN First, UINTN Last);

  const FORM_RECORD *Records() const { return mRecords.Get(); }
  UINTN RecordCount() const { return mRecords.Count(); }
  // Why the walk ended early, as the closing line's tail ("" when it did not).
  const CHAR16 *Ending() const { return mEnding; }
  // What the person should do next when the browser ended the walk (refused
  // it, or read only the real keyboard); null otherwise.
  const CHAR16 *Advice() const { return mAdvice; }
  // Seconds since Run began, by the firmware's clock (0 without one).
  UINT32 Elapsed() const;

 private:
  // How the walk ends: its status, the closing line's tail and what the
  // person should do next (null when nothing).
  struct END {
    EFI_STATUS Status;
    const CHAR16 *Ending;
    const CHAR16 *Advice;
  };
  // Why the walk ends after Record (whose index line's write gave Written);
  // a null Ending when it goes on.
  END EndAfter(const FORM_RECORD &Record, EFI_STATUS Written);
  FORM_RECORD Show(UINTN Form);
  FORM_RECORD Visit(UINTN Form);
  EFI_STATUS ReadSettings(UINTN Set, UINTN FirstRecord);
  VOID Progress(UINTN Set, UINTN SetNumber, UINTN SetCount, UINTN FormNumber, UINTN FormCount);
  static VOID EFIAPI OnInputUnread(EFI_EVENT Event, VOID *Context);

  const FormList *mList;
  EFI_FORM_BROWSER2_PROTOCOL *mBrowser;
  FormScreens *mScreens;
  FormIndex *mIndex;
  EFI_SIMPLE_TEXT_IN_PROTOCOL *mKeyboard;
  const ConsoleOutputState *mConsole;
  FormSettings *mSettings;
  PoolVector<FORM_RECORD> mRecords;
  const CHAR16 *mEnding = STR16("");
  const CHAR16 *mAdvice = nullptr;
  const FormInput *mInput = nullptr;  // the shown form's, while its timer may fire
  BOOLEAN mSavedByTimer = FALSE;
  EFI_TIME mStart = {};
  BOOLEAN mHasStart = FALSE;
};
