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
  if (mGaveBack) {
    return mFirmwareInput->ReadKeyStroke(mFirmwareInput, Key);
  }
  if (mScreenDue) {
    mScreenDue = FALSE;
    mWaited = FALSE;
    mLeaving = mLeaving || !mOnScreen(mContext);
    return EFI_NOT_READY;
  }
  if (!mWaited) {
    return EFI_NOT_READY;
  }
  mWaited = FALSE;
  *Key = EFI_INPUT_KEY{};
  if (!mLeaving) {
    Key->ScanCode = SCAN_PAGE_DOWN;
    mScreenDue = TRUE;
  } else if (mEscapes < kEscapesBeforeNo) {
    Key->ScanCode = SCAN_ESC;
    mEscapes++;
  } else if (!mAnsweredNo) {
    Key->UnicodeChar = 'N';
    mAnsweredNo = TRUE;
  } else {
    // Only a key ends the browser's SendForm: give the person at the machine theirs.
    mGaveBack = TRUE;
    mSwap->Restore();
    return mFirmwareInput->ReadKeyStroke(mFirmwareInput, Key);
  }
  return EFI_SUCCESS;
}
