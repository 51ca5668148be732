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
  PrintOnLastRow(Walk->mScreens->Saved() != 0
                     ? STR16("Vistrel saved this page but cannot turn it: press ESC to leave it.")
                     : STR16("Vistrel could not save this page: press ESC to leave it."));
}

FORM_RECORD FormWalk::Show(UINTN Form) {
  const FORM_ENTRY &Entry = mList->Forms[Form];
  const FORM_SET_ENTRY &Set = mList->Sets[Entry.Set];
  FORM_RECORD Record;
  Record.Form = Form;
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
  if (mList->Sets[Entry.Set].FrontPage || Entry.Modal) {
    FORM_RECORD Skipped;
    Skipped.Form = Form;
    Skipped.Outcome = Entry.Modal ? FORM_OUTCOME::SkippedModal : FORM_OUTCOME::SkippedFrontPage;
    return Skipped;
  }
  if (mBrowser == nullptr) {
    FORM_RECORD Read;
    Read.Form = Form;
    Read.Outcome = FORM_OUTCOME::ReadAsText;
    return Read;
  }
  FORM_RECORD Record = Show(Form);
  mConsole->Restore();
  return Record;
}

// The form set's settings on the forms its records cover, shown or read,
// not skipped.
EFI_STATUS FormWalk::ReadSettings(UINTN Set, UINTN FirstRecord) {
  const FORM_SET_ENTRY &Entry = mList->Sets[Set];
  PoolBuffer<BOOLEAN> Included = PoolBuffer<BOOLEAN>::Allocate(Entry.FormCount + 1);
  if (!Included) {
    return EFI_OUT_OF_RESOURCES;
  }
  BOOLEAN Any = FALSE;
  for (UINTN Record = FirstRecord; Record < mRecords.Count(); Record++) {
    const FORM_RECORD &Visited = mRecords[Record];
    Included[Visited.Form - Entry.FirstForm] = !IsSkipped(Visited.Outcome);
    Any = Any || !IsSkipped(Visited.Outcome);
  }
  return Any ? mSettings->Read(Set, Included.Get()) : EFI_SUCCESS;
}

FormWalk::END FormWalk::EndAfter(const FORM_RECORD &Record, EFI_STATUS Written) {
  if (Record.Outcome == FORM_OUTCOME::Failed && mScreens != nullptr && EFI_ERROR(mScreens->Failure())) {
    return {mScreens->Failure(), STR16("; the walk stopped: a screen could not be saved"), nullptr};
  }
  if (EFI_ERROR(Written)) {
    return {Written, STR16("; the walk stopped: index.txt could not be written"), nullptr};
  }
  switch (Record.Outcome) {
    case FORM_OUTCOME::Refused:
      return {Record.Status, STR16("; the walk stopped: the form browser refused to show a form"),
              STR16("This firmware does not show its pages to another program from here: start the stick\n"
                    "from the PC's one-time boot menu instead.\n")};
    case FORM_OUTCOME::KeyboardOnly:
      return {EFI_ABORTED, STR16("; the walk stopped: the form browser reads only the keyboard"),
              STR16("This firmware turns its pages only from the keyboard: press Ctrl+Alt+F12 on each page\n"
                    "instead (the stick's hotkey).\n")};
    case FORM_OUTCOME::AnsweredNo:
    case FORM_OUTCOME::KeyboardGivenBack:
    case FORM_OUTCOME::ActionRequested:
      return {EFI_ABORTED, STR16("; the walk stopped at a form that asked for more than ESC"), nullptr};
    default:
      break;
  }
  if ((mScreens != nullptr && mScreens->StopAsked()) || DrainKeys(mKeyboard)) {
    return {EFI_ABORTED, STR16("; the walk stopped: ESC was pressed"), nullptr};
  }
  return {EFI_SUCCESS, nullptr, nullptr};
}

EFI_STATUS FormWalk::Run(UINTN First, UINTN Last) {
  mHasStart = ReadCaptureTime(&mStart);
  UINTN FormCount = 0;
  for (UINTN Set = First; Set < Last; Set++) {
    FormCount += mList->Sets[Set].FormCount;
  }
  END End = {EFI_SUCCESS, nullptr, nullptr};
  EFI_STATUS FirstFailure = EFI_SUCCESS;
  UINTN FormNumber = 0;
  for (UINTN Set = First; Set < Last && End.Ending == nullptr; Set++) {
    const FORM_SET_ENTRY &Entry = mList->Sets[Set];
    const UINTN FirstRecord = mRecords.Count();
    Progress(Set, Set - First + 1, Last - First, FormNumber + 1, FormCount);
    for (UINTN Form = Entry.FirstForm; Form < Entry.FirstForm + Entry.FormCount && End.Ending == nullptr;
         Form++, FormNumber++) {
      FORM_RECORD *Record = mRecords.Append();
      if (Record == nullptr) {
        End = {EFI_OUT_OF_RESOURCES, STR16("; the walk stopped: out of memory"), nullptr};
        break;
      }
      *Record = Visit(Form);
      End = EndAfter(*Record, mIndex->Append(*Record));
      if (Record->Outcome == FORM_OUTCOME::Failed && !EFI_ERROR(FirstFailure)) {
        FirstFailure = EFI_ERROR(Record->Status) ? Record->Status : EFI_NOT_READY;
      }
    }
    const EFI_STATUS Read = ReadSettings(Set, FirstRecord);
    if (EFI_ERROR(Read) && End.Ending == nullptr) {
      End = {Read, STR16("; the walk stopped: out of memory"), nullptr};
    }
  }
  if (End.Ending != nullptr) {
    mEnding = End.Ending;
    mAdvice = End.Advice;
  }
  return End.Ending != nullptr ? End.Status : FirstFailure;
}
