#include "forms/FormWalk.h"

#include "platform/CaptureClock.h"
#include "platform/Event.h"
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

// A browser that reads the keyboards itself never turns to the walk's input:
// its page is saved from here, once, and the person is told how to leave it.
VOID EFIAPI FormWalk::OnInputUnread(EFI_EVENT Event, VOID *Context) {
  (void)Event;
  auto *Walk = static_cast<FormWalk *>(Context);
  if (Walk->mInput == nullptr || Walk->mInput->EverRead()) {
    return;
  }
  Walk->mSavedByTimer = TRUE;
  FormScreens::OnScreen(Walk->mScreens);
  PrintOnLastRow(Walk->mScreens->Saved() != 0 ? STR16("Vistrel saved this page but cannot turn it: press ESC to leave it.")
                                              : STR16("Vistrel could not save this page: press ESC to leave it."));
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
  // Declared after the input, so closed before it goes. Without a timer the
  // walk goes on: only a browser deaf to the input would wait on the person.
  Event Unread;
  mInput = &Input;
  mSavedByTimer = FALSE;
  if (!EFI_ERROR(Unread.CreateTimer(TPL_CALLBACK, OnInputUnread, this))) {
    Unread.SetRelative(kUnreadInputSeconds * kTimerTicksPerSecond);
  }
  Swap.Install(Input.Protocol());
  // No screen dimensions: inside the firmware's own menus this call nests in
  // its browser, which keeps its own.
  Record.Status = mBrowser->SendForm(mBrowser, &Handle, 1, &FormSetGuid, Entry.FormId, nullptr, &Record.Action);
  Swap.Restore();
  Unread.Close();
  mInput = nullptr;

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
  } else if (!Input.EverRead() && mSavedByTimer) {
    Record.Outcome = FORM_OUTCOME::KeyboardOnly;
  } else if (!Input.EverRead() && EFI_ERROR(Record.Status) && Record.Status != EFI_NOT_FOUND) {
    // EFI_NOT_FOUND is EDK II's answer for a form id it does not know.
    Record.Outcome = FORM_OUTCOME::Refused;
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
      if (Record->Outcome == FORM_OUTCOME::Refused) {
        mEnding = STR16("; the walk stopped: the form browser refused to show a form");
        mAdvice = STR16("This firmware does not show its pages to another program from here: start the stick\n"
                        "from the PC's one-time boot menu instead.\n");
        return Record->Status;
      }
      if (Record->Outcome == FORM_OUTCOME::KeyboardOnly) {
        mEnding = STR16("; the walk stopped: the form browser reads only the keyboard");
        mAdvice = STR16("This firmware turns its pages only from the keyboard: press Ctrl+Alt+F12 on each page\n"
                        "instead (the stick's hotkey).\n");
        return EFI_ABORTED;
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
