#include "forms/FormWalk.h"

#include "forms/FormInput.h"
#include "platform/CaptureClock.h"
#include "platform/Print.h"

namespace {

constexpr UINTN kShownTitleLength = 60;

UINT32 SecondsOfDay(const EFI_TIME &Time) { return (Time.Hour * 60U + Time.Minute) * 60U + Time.Second; }

}  // namespace

UINT32 FormWalk::Elapsed() const {
  EFI_TIME Now;
  if (!mHasStart || !ReadCaptureTime(&Now)) {
    return 0;
  }
  // Across midnight at most once: a walk takes minutes.
  return (SecondsOfDay(Now) + 86400U - SecondsOfDay(mStart)) % 86400U;
}

VOID FormWalk::Progress(UINTN Set, UINTN SetNumber, UINTN SetCount, UINTN FormNumber, UINTN FormCount) {
  const UINT32 Seconds = Elapsed();
  CHAR16 Title[kShownTitleLength];
  BuildConsoleTitle(mList->Sets[Set].Title, Title, kShownTitleLength);
  Print(STR16("Form set %u/%u, form %u/%u, %u:%02u: %s\n"), static_cast<UINT32>(SetNumber),
        static_cast<UINT32>(SetCount), static_cast<UINT32>(FormNumber), static_cast<UINT32>(FormCount),
        Seconds / 60, Seconds % 60, Title);
}

FORM_RECORD FormWalk::Show(UINTN Form) {
  const FORM_ENTRY &Entry = mList->Forms[Form];
  const FORM_SET_ENTRY &Set = mList->Sets[Entry.Set];
  FORM_RECORD Record = {Form, FORM_OUTCOME::Shown, 0, FALSE, EFI_SUCCESS, kBrowserActionRequestNone};
  CHAR16 Stem[kFormStemLength];
  BuildFormStem(Form + 1, Entry.Title, Entry.FormId, Stem);
  mScreens->StartForm(Stem);

  FormInput Input;
  // Declared after the input, so gone before it: the firmware's input is
  // back before the tool's is closed, on every road.
  ConsoleInputSwap Swap;
  Record.Status = Input.Create(&Swap, FormScreens::OnScreen, mScreens);
  if (EFI_ERROR(Record.Status)) {
    Record.Outcome = FORM_OUTCOME::Failed;
    return Record;
  }
  EFI_HII_HANDLE Handle = Set.Handle;
  EFI_GUID FormSetGuid = Set.FormSetGuid;
  Swap.Install(Input.Protocol());
  Record.Status = mBrowser->SendForm(mBrowser, &Handle, 1, &FormSetGuid, Entry.FormId, nullptr, &Record.Action);
  Swap.Restore();

  Record.Screens = mScreens->Saved();
  Record.Cut = mScreens->Cut();
  if (Input.GaveKeyboardBack()) {
    Record.Outcome = FORM_OUTCOME::KeyboardGivenBack;
  } else if (Input.AnsweredNo()) {
    Record.Outcome = FORM_OUTCOME::AnsweredNo;
  } else if (Record.Action != kBrowserActionRequestNone) {
    Record.Outcome = FORM_OUTCOME::ActionRequested;
  } else if (EFI_ERROR(mScreens->Failure())) {
    Record.Outcome = FORM_OUTCOME::Failed;
    Record.Status = mScreens->Failure();
  } else if (EFI_ERROR(Record.Status) || Record.Screens == 0) {
    Record.Outcome = FORM_OUTCOME::Failed;
  }
  return Record;
}

FORM_RECORD FormWalk::Visit(UINTN Form) {
  const FORM_ENTRY &Entry = mList->Forms[Form];
  if (mList->Sets[Entry.Set].FrontPage) {
    return FORM_RECORD{Form, FORM_OUTCOME::SkippedFrontPage, 0, FALSE, EFI_SUCCESS, kBrowserActionRequestNone};
  }
  if (Entry.Modal) {
    return FORM_RECORD{Form, FORM_OUTCOME::SkippedModal, 0, FALSE, EFI_SUCCESS, kBrowserActionRequestNone};
  }
  FORM_RECORD Record = Show(Form);
  mConsole->Restore();
  return Record;
}

EFI_STATUS FormWalk::Run(UINTN First, UINTN Last) {
  mHasStart = ReadCaptureTime(&mStart);
  UINTN FormCount = 0;
  for (UINTN Set = First; Set < Last; Set++) {
    FormCount += mList->Sets[Set].FormCount;
  }
  EFI_STATUS Result = EFI_SUCCESS;
  UINTN FormNumber = 0;
  for (UINTN Set = First; Set < Last; Set++) {
    const FORM_SET_ENTRY &Entry = mList->Sets[Set];
    Progress(Set, Set - First + 1, Last - First, FormNumber + 1, FormCount);
    for (UINTN Form = Entry.FirstForm; Form < Entry.FirstForm + Entry.FormCount; Form++, FormNumber++) {
      FORM_RECORD *Record = mRecords.Append();
      if (Record == nullptr) {
        mEnding = STR16("; the walk stopped: out of memory");
        return EFI_OUT_OF_RESOURCES;
      }
      *Record = Visit(Form);
      const EFI_STATUS Written = mIndex->Append(*Record);
      if (Record->Outcome == FORM_OUTCOME::Failed && EFI_ERROR(mScreens->Failure())) {
        mEnding = STR16("; the walk stopped: a screen could not be saved");
        return mScreens->Failure();
      }
      if (EFI_ERROR(Written)) {
        mEnding = STR16("; the walk stopped: index.txt could not be written");
        return Written;
      }
      if (Record->Outcome == FORM_OUTCOME::AnsweredNo || Record->Outcome == FORM_OUTCOME::KeyboardGivenBack ||
          Record->Outcome == FORM_OUTCOME::ActionRequested) {
        mEnding = STR16("; the walk stopped at a form that asked for more than ESC");
        return EFI_ABORTED;
      }
      if (mScreens->StopAsked() || DrainKeys(mKeyboard)) {
        mEnding = STR16("; the walk stopped: ESC was pressed");
        return EFI_ABORTED;
      }
      if (Record->Outcome == FORM_OUTCOME::Failed && !EFI_ERROR(Result)) {
        Result = EFI_ERROR(Record->Status) ? Record->Status : EFI_NOT_READY;
      }
    }
  }
  return Result;
}
