#include "forms/FormInput.h"

EFI_STATUS FormInput::Create(ConsoleInputSwap *Swap, FORM_SCREEN_HANDLER OnScreen, VOID *Context) {
  mSwap = Swap;
  mFirmwareInput = ConsoleInput();
  mOnScreen = OnScreen;
  mContext = Context;
  mInput.Protocol.Reset = Reset;
  mInput.Protocol.ReadKeyStroke = ReadKeyStroke;
  mInput.Owner = this;
  const EFI_STATUS Status = mWaitForKey.CreateWait(TPL_NOTIFY, OnWaitForKey, this);
  mInput.Protocol.WaitForKey = mWaitForKey.Get();
  return Status;
}

EFI_STATUS EFIAPI FormInput::Reset(EFI_SIMPLE_TEXT_IN_PROTOCOL *This, BOOLEAN ExtendedVerification) {
  (void)ExtendedVerification;
  // A flush: what a wait before it promised is void.
  reinterpret_cast<INPUT *>(This)->Owner->mWaited = FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FormInput::ReadKeyStroke(EFI_SIMPLE_TEXT_IN_PROTOCOL *This, EFI_INPUT_KEY *Key) {
  return reinterpret_cast<INPUT *>(This)->Owner->Read(Key);
}

// Whoever waits is answered at once: the read that follows gets the key.
VOID EFIAPI FormInput::OnWaitForKey(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  auto *Input = static_cast<FormInput *>(Context);
  Input->mWaited = TRUE;
  Input->mWaitForKey.Signal();
}

EFI_STATUS FormInput::Read(EFI_INPUT_KEY *Key) {
  mEverRead = TRUE;
  if (mStep == STEP::GivenBack) {
    return mFirmwareInput->ReadKeyStroke(mFirmwareInput, Key);
  }
  if (mStep == STEP::ScreenDue) {
    mWaited = FALSE;
    mStep = mOnScreen(mContext) ? STEP::Paging : STEP::Leaving;
    return EFI_NOT_READY;
  }
  if (!mWaited) {
    return EFI_NOT_READY;
  }
  mWaited = FALSE;
  *Key = EFI_INPUT_KEY{};
  switch (mStep) {
    case STEP::Paging:
      Key->ScanCode = SCAN_PAGE_DOWN;
      mStep = STEP::ScreenDue;
      break;
    case STEP::Leaving:
      if (mEscapes < kEscapesBeforeNo) {
        Key->ScanCode = SCAN_ESC;
        mEscapes++;
      } else {
        Key->UnicodeChar = 'N';
        mStep = STEP::AnsweredNo;
      }
      break;
    default:
      // Only a key ends the browser's SendForm: give the person at the machine theirs.
      mStep = STEP::GivenBack;
      mSwap->Restore();
      return mFirmwareInput->ReadKeyStroke(mFirmwareInput, Key);
  }
  return EFI_SUCCESS;
}
