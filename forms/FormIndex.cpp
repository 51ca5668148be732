#include "forms/FormIndex.h"

#include "fileio/FolderWriter.h"
#include "forms/FormNames.h"
#include "image/PngText.h"
#include "platform/Firmware.h"
#include "platform/Library.h"
#include "platform/Print.h"

namespace {

constexpr UINTN kTotalsLength = 128;

// A data: URL would be script-free too, but a file beside it opens anywhere.
const char kHtmlHead[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<title>Firmware forms</title>\n<style>\n"
    "body { font-family: sans-serif; margin: 1em 2em; }\n"
    "section { border-top: 1px solid #ccc; padding: .5em 0; }\n"
    "h2 { font-size: 1.1em; margin: .2em 0; }\n"
    "p { margin: .2em 0; color: #444; }\n"
    "img { width: 480px; border: 1px solid #888; margin: .3em .3em 0 0; vertical-align: top; }\n"
    ".why { color: #a00; }\n"
    "</style>\n</head>\n<body>\n<h1>Firmware forms</h1>\n";

// A whole text as the writer's source: one piece.
struct TEXT_SOURCE : FILE_SOURCE {
  const TextBuffer *Text;
};

EFI_STATUS GetTextPiece(FILE_SOURCE *This, UINTN Index, const UINT8 **Piece, UINTN *Size) {
  if (Index != 0) {
    return EFI_END_OF_FILE;
  }
  const TextBuffer *Text = static_cast<TEXT_SOURCE *>(This)->Text;
  *Piece = reinterpret_cast<const UINT8 *>(Text->Data());
  *Size = Text->Size();
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS SaveText(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, const TextBuffer &Text) {
  if (Text.Failed()) {
    return EFI_OUT_OF_RESOURCES;
  }
  TEXT_SOURCE Whole;
  Whole.GetPiece = GetTextPiece;
  Whole.Text = &Text;
  return SaveNewFileInFolder(Folder, Name, &Whole);
}

WALK_SUMMARY Summarize(const FORM_RECORD *Records, UINTN Count) {
  WALK_SUMMARY Summary = {Count, 0, 0, 0};
  for (UINTN Index = 0; Index < Count; Index++) {
    Summary.Screens += Records[Index].Screens;
    Summary.Skipped += IsSkipped(Records[Index].Outcome) ? 1 : 0;
    const FORM_OUTCOME Outcome = Records[Index].Outcome;
    Summary.Failed += Outcome == FORM_OUTCOME::Failed || Outcome == FORM_OUTCOME::Refused ? 1 : 0;
  }
  return Summary;
}

// --- the index ----------------------------------------------------------------

EFI_STATUS FormIndex::Open(EFI_FILE_PROTOCOL *Folder, const FormList *List, const EFI_TIME *Time) {
  mFolder = Folder;
  mList = List;
  EFI_FILE_PROTOCOL *Opened = nullptr;
  const EFI_STATUS Status = CreateFileInFolder(Folder, STR16("index.txt"), &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  mText.Reset(Opened);
  // The firmware's vendor is read to a bound: nothing says it ends.
  const FIRMWARE_ORIGIN Firmware = ReadFirmwareOrigin();
  for (UINTN At = 0; Firmware.Vendor != nullptr && At < kPngVendorCharacters && Firmware.Vendor[At] != 0; At++) {
    mVendor[At] = Firmware.Vendor[At];
  }
  mRevision = Firmware.Revision;
  mUefiRevision = Firmware.UefiRevision;
  mHasTime = Time != nullptr;
  mTime = mHasTime ? *Time : EFI_TIME{};
  mLine.Clear();
  mLine.Ascii("Vistrel " VISTREL_VERSION ": the firmware's forms, ");
  Heading(FALSE);
  mLine.Ascii("\r\n");
  for (UINTN Index = 0; Index < List->Malformed.Count(); Index++) {
    mLine.Ascii("Skipped as malformed: a forms package in package list ");
    mLine.Guid(List->Malformed[Index]);
    mLine.Ascii("\r\n");
  }
  return Write();
}

VOID FormIndex::Heading(BOOLEAN Html) {
  mLine.Text(mVendor, Html);
  mLine.Ascii(", ");
  mLine.Revisions(mRevision, mUefiRevision, ", ");
  if (mHasTime) {
    mLine.Ascii(", ");
    mLine.Time(mTime, ' ');
  }
}

EFI_STATUS FormIndex::Write() {
  if (mLine.Failed()) {
    return EFI_OUT_OF_RESOURCES;
  }
  return AppendToFile(mText.Get(), mLine.Data(), mLine.Size());
}

VOID FormIndex::Images(const FORM_RECORD &Record, BOOLEAN Html) {
  const FORM_ENTRY &Form = mList->Forms[Record.Form];
  CHAR16 Stem[kFormStemLength];
  BuildFormStem(Record.Form + 1, Form.Title, Form.FormId, Stem);
  for (UINTN Screen = 1; Screen <= Record.Screens; Screen++) {
    CHAR16 Name[kImageNameLength];
    BuildImageName(Stem, Screen, Name);
    if (Html) {
      mLine.Ascii("<a href=\"");
      mLine.Text(Name, TRUE);
      mLine.Ascii("\"><img src=\"");
      mLine.Text(Name, TRUE);
      mLine.Ascii("\" alt=\"screen ");
      mLine.Decimal(Screen);
      mLine.Ascii("\"></a>");
    } else {
      mLine.Ascii(Screen == 1 ? " " : ", ");
      mLine.Text(Name, FALSE);
    }
  }
}

VOID FormIndex::Describe(const FORM_RECORD &Record, BOOLEAN Html) {
  CHAR16 Status[kStatusTextLength];
  StatusText(Record.Status, Status, kStatusTextLength);
  mLine.Ascii(Html ? "<p class=\"why\">" : " (");
  switch (Record.Outcome) {
    case FORM_OUTCOME::Shown:
    case FORM_OUTCOME::ReadAsText:
      break;
    case FORM_OUTCOME::SkippedModal:
      mLine.Ascii("skipped: a modal form, which ESC cannot leave");
      break;
    case FORM_OUTCOME::SkippedFrontPage:
      mLine.Ascii("skipped: the front page's form set, which ignores ESC");
      break;
    case FORM_OUTCOME::Failed:
      mLine.Ascii(Record.Screens == 0 && !EFI_ERROR(Record.Status) ? "failed: it showed no screen" : "failed: ");
      if (EFI_ERROR(Record.Status)) {
        mLine.Text(Status, Html);
      }
      break;
    case FORM_OUTCOME::AnsweredNo:
      mLine.Ascii("it asked whether to save changes; answered N (discard); the walk stopped");
      break;
    case FORM_OUTCOME::KeyboardGivenBack:
      mLine.Ascii("ESC and N did not end it; the keyboard was given back; the walk stopped");
      break;
    case FORM_OUTCOME::ActionRequested:
      mLine.Ascii("it asked for browser action ");
      mLine.Decimal(Record.Action);
      mLine.Ascii(", not taken; the walk stopped");
      break;
    case FORM_OUTCOME::Refused:
      mLine.Ascii("the browser refused to show it: ");
      mLine.Text(Status, Html);
      mLine.Ascii("; the walk stopped");
      break;
    case FORM_OUTCOME::KeyboardOnly:
      mLine.Ascii("the browser read only the keyboard: saved after ");
      mLine.Decimal(kUnreadInputSeconds);
      mLine.Ascii(" s and left by a person; the walk stopped");
      break;
  }
  if (Record.Cut) {
    mLine.Ascii(Record.Outcome == FORM_OUTCOME::Shown ? "cut at " : "; cut at ");
    mLine.Decimal(Record.Screens);
    mLine.Ascii(" screens");
  }
  mLine.Ascii(Html ? "</p>" : ")");
}

// One form's entry: its number and titles, the form set's GUID and the form
// id, its images, and why it has none or what stopped the walk there.
VOID FormIndex::Entry(const FORM_RECORD &Record, BOOLEAN Html) {
  const FORM_ENTRY &Form = mList->Forms[Record.Form];
  const FORM_SET_ENTRY &Set = mList->Sets[Form.Set];
  mLine.Ascii(Html ? "<section class=\"form\">\n<h2>" : "");
  mLine.Decimal(Record.Form + 1, 3);
  mLine.Ascii(" ");
  mLine.Text(Set.Title, Html);
  mLine.Ascii(Html ? " &gt; " : " > ");
  mLine.Text(Form.Title, Html);
  mLine.Ascii(Html ? "</h2>\n<p>Form set <code>" : " [");
  mLine.Guid(Set.FormSetGuid);
  mLine.Ascii(Html ? "</code>, form " : " form ");
  mLine.Decimal(Form.FormId);
  mLine.Ascii(Html ? "</p>\n" : "]:");
  Images(Record, Html);
  if ((Record.Outcome != FORM_OUTCOME::Shown && Record.Outcome != FORM_OUTCOME::ReadAsText) || Record.Cut) {
    Describe(Record, Html);
  }
  mLine.Ascii(Html ? "\n</section>\n" : "\r\n");
}

EFI_STATUS FormIndex::Append(const FORM_RECORD &Record) {
  mLine.Clear();
  Entry(Record, FALSE);
  return Write();
}

VOID AppendSettingsLine(TextBuffer *Line, const SETTINGS_SUMMARY &Settings) {
  Line->Ascii("Settings: ");
  Line->Decimal(Settings.Questions);
  Line->Ascii(" questions, ");
  Line->Decimal(Settings.NotRead);
  Line->Ascii(" values not read, ");
  Line->Decimal(Settings.NotEvaluated);
  Line->Ascii(" conditions not evaluated.");
}

EFI_STATUS FormIndex::Finish(const FORM_RECORD *Records, UINTN Count, const CHAR16 *Ending,
                             const SETTINGS_SUMMARY &Settings) {
  const WALK_SUMMARY Summary = Summarize(Records, Count);
  // Four numbers of at most 20 digits and the words around them.
  CHAR16 Totals[kTotalsLength];
  UnicodeSPrint(Totals, sizeof(Totals), STR16("%lu forms: %lu screens, %lu skipped, %lu failed"),
                static_cast<UINT64>(Summary.Forms), static_cast<UINT64>(Summary.Screens),
                static_cast<UINT64>(Summary.Skipped), static_cast<UINT64>(Summary.Failed));
  mLine.Clear();
  mLine.Text(Totals, FALSE);
  mLine.Text(Ending, FALSE);
  mLine.Ascii("\r\n");
  AppendSettingsLine(&mLine, Settings);
  mLine.Ascii("\r\n");
  EFI_STATUS Status = Write();

  mLine.Clear();
  mLine.Ascii(kHtmlHead);
  mLine.Ascii("<p>");
  Heading(TRUE);
  mLine.Ascii(". ");
  mLine.Text(Totals, TRUE);
  mLine.Text(Ending, TRUE);
  mLine.Ascii(".</p>\n<p>Every setting as text: <a href=\"settings.txt\">settings.txt</a> (and "
              "<a href=\"settings.json\">settings.json</a>); ");
  mLine.Decimal(Settings.Differing);
  mLine.Ascii(Settings.Differing == 1 ? " value differs" : " values differ");
  mLine.Ascii(" from its default. ");
  AppendSettingsLine(&mLine, Settings);
  mLine.Ascii("</p>\n");
  for (UINTN Index = 0; Index < Count; Index++) {
    Entry(Records[Index], TRUE);
  }
  mLine.Ascii("</body>\n</html>\n");
  const EFI_STATUS Saved = SaveText(mFolder, STR16("index.html"), mLine);
  return EFI_ERROR(Status) ? Status : Saved;
}
