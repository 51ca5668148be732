// The console input the form browser reads while the walk shows a form: a
// protocol of the tool's own in gST->ConIn, so that no key from a keyboard
// reaches the browser. It answers each new screen's first read with
// EFI_NOT_READY, after handing the screen to the walk, and delivers a key
// only on a read that follows a wait on its WaitForKey (EDK II's browser
// reads once before it waits, and its save prompt reads once to flush before
// it draws: a key delivered there would be lost). The keys, and no others:
//   Page Down, while the walk wants another screen;
//   then ESC, up to kEscapesBeforeNo times;
//   then one 'N', for the prompt "Press 'Y' to save and exit, 'N' to discard
//   and exit, 'ESC' to cancel" that a form with changes shows;
//   then the firmware's own input goes back in gST->ConIn while the form is
//   still up, so that the person at the machine can leave it.
#pragma once

#include "platform/ConsoleInput.h"
#include "platform/Event.h"

constexpr UINTN kEscapesBeforeNo = 3;

// Called at each new screen's first read, with the screen fully drawn;
// returns TRUE for the next screen (Page Down), FALSE to leave the form.
typedef BOOLEAN (*FORM_SCREEN_HANDLER)(VOID *Context);

class FormInput {
 public:
  FormInput() = default;
  FormInput(const FormInput &) = delete;
  FormInput &operator=(const FormInput &) = delete;

  // Ready for one SendForm: Swap (not yet installed) is what puts this input
  // in place and, when the keys run out, the firmware's own input back.
  // Returns CreateEvent's status.
  EFI_STATUS Create(ConsoleInputSwap *Swap, FORM_SCREEN_HANDLER OnScreen, VOID *Context);
  EFI_SIMPLE_TEXT_IN_PROTOCOL *Protocol() { return &mInput.Protocol; }

  // Whether the browser has read this input at all: some browsers read the
  // keyboards themselves.
  BOOLEAN EverRead() const { return mEverRead; }
  BOOLEAN AnsweredNo() const { return mStep == STEP::AnsweredNo || mStep == STEP::GivenBack; }
  BOOLEAN GaveKeyboardBack() const { return mStep == STEP::GivenBack; }

 private:
  struct INPUT {
    EFI_SIMPLE_TEXT_IN_PROTOCOL Protocol;  // first: the browser's This leads back here
    FormInput *Owner;
  };
  static EFI_STATUS EFIAPI Reset(EFI_SIMPLE_TEXT_IN_PROTOCOL *This, BOOLEAN ExtendedVerification);
  static EFI_STATUS EFIAPI ReadKeyStroke(EFI_SIMPLE_TEXT_IN_PROTOCOL *This, EFI_INPUT_KEY *Key);
  static VOID EFIAPI OnWaitForKey(EFI_EVENT Event, VOID *Context);
  EFI_STATUS Read(EFI_INPUT_KEY *Key);

  // Where the input is in its keys; each read moves it on at most one step.
  enum class STEP : UINT8 {
    ScreenDue,   // the next read is a new screen's first: the walk reads it back
    Paging,      // the walk wants another screen: Page Down
    Leaving,     // ESC, up to kEscapesBeforeNo times, then 'N'
    AnsweredNo,  // 'N' was given: the next key is the person's
    GivenBack,   // the firmware's own input is back in gST->ConIn
  };

  INPUT mInput = {};
  Event mWaitForKey;
  ConsoleInputSwap *mSwap = nullptr;
  EFI_SIMPLE_TEXT_IN_PROTOCOL *mFirmwareInput = nullptr;
  FORM_SCREEN_HANDLER mOnScreen = nullptr;
  VOID *mContext = nullptr;
  STEP mStep = STEP::ScreenDue;
  BOOLEAN mWaited = FALSE;  // someone waited on WaitForKey since the last read
  UINTN mEscapes = 0;
  BOOLEAN mEverRead = FALSE;
};
