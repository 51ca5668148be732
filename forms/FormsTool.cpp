#include "forms/FormsTool.h"

#include "fileio/FolderWriter.h"
#include "forms/FormWalk.h"
#include "platform/ConsoleInput.h"
#include "platform/Firmware.h"
#include "platform/Protocol.h"
#include "platform/ApplicationFrame.h"
#include "platform/CaptureClock.h"
#include "platform/Print.h"

namespace {

BOOLEAN SameAscii(const char *Typed, const char *Option) {
  for (; *Typed != 0 && *Option != 0; Typed++, Option++) {
    const char Lower = *Typed >= 'A' && *Typed <= 'Z' ? static_cast<char>(*Typed - 'A' + 'a') : *Typed;
    if (Lower != *Option) {
      return FALSE;
    }
  }
  return *Typed == *Option;
}

VOID PrintGuid(const EFI_GUID &Guid) {
  CHAR16 Text[kGuidTextLength + 1];
  FormatGuid(Guid, Text);
  Print(STR16("%s"), Text);
}

VOID PrintTitle(const CHAR16 *Title) {
  CHAR16 Shown[kTitleLength];
  BuildConsoleTitle(Title, Shown, kTitleLength);
  Print(STR16("%s"), Shown[0] == 0 ? STR16("(no title)") : Shown);
}

VOID PrintListing(const FormList &List, UINTN First, UINTN Last) {
  UINTN Forms = 0;
  for (UINTN Set = First; Set < Last; Set++) {
    Forms += List.Sets[Set].FormCount;
  }
  Print(STR16("Form sets: %u, forms: %u; registered twice and dropped: %u; malformed packages skipped: %u\n"),
        static_cast<UINT32>(Last - First), static_cast<UINT32>(Forms), static_cast<UINT32>(List.Duplicates),
        static_cast<UINT32>(List.Malformed.Count()));
  for (UINTN Set = First; Set < Last; Set++) {
    const FORM_SET_ENTRY &Entry = List.Sets[Set];
    Print(STR16("Set %u: "), static_cast<UINT32>(Set + 1));
    PrintTitle(Entry.Title);
    Print(STR16(" "));
    PrintGuid(Entry.FormSetGuid);
    Print(STR16("%s\n"), Entry.FrontPage ? STR16(" (the front page: skipped)") : STR16(""));
    for (UINTN Form = Entry.FirstForm; Form < Entry.FirstForm + Entry.FormCount; Form++) {
      Print(STR16("  %03u form %u: "), static_cast<UINT32>(Form + 1), UINT32{List.Forms[Form].FormId});
      PrintTitle(List.Forms[Form].Title);
      Print(STR16("%s\n"), List.Forms[Form].Modal ? STR16(" (modal: skipped)") : STR16(""));
    }
  }
}

// The form sets -set names, as [*First, *Last); FALSE when it names none.
BOOLEAN ChooseSets(const FORMS_OPTIONS &Options, const FormList &List, UINTN *First, UINTN *Last) {
  *First = 0;
  *Last = List.Sets.Count();
  if (!Options.OneSet) {
    return TRUE;
  }
  for (UINTN Set = 0; Set < List.Sets.Count(); Set++) {
    const BOOLEAN Named =
        Options.ByGuid ? SameGuid(List.Sets[Set].FormSetGuid, Options.SetGuid) : Set + 1 == Options.SetNumber;
    if (Named) {
      *First = Set;
      *Last = Set + 1;
      return TRUE;
    }
  }
  return FALSE;
}

EFI_STATUS Fail(const CHAR16 *What, EFI_STATUS Status) {
  CHAR16 Name[kStatusTextLength];
  StatusText(Status, Name, kStatusTextLength);
  Print(STR16("vistrel-forms: %s (%s)\n"), What, Name);
  return Status;
}

EFI_STATUS Walk(const FORMS_OPTIONS &Options, const FormList &List, UINTN First, UINTN Last,
                EFI_FORM_BROWSER2_PROTOCOL *Browser, EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput,
                FormSettings *Settings) {
  // Everything that can fail without a trace fails before the folder is made.
  FormScreens Screens;
  EFI_STATUS Status = Options.Text ? EFI_SUCCESS
                                   : Screens.Create(GraphicsOutput,
                                                    LocateProtocolOf(&gEdkiiFormDisplayEngineProtocolGuid) != nullptr,
                                                    Options.Step, ConsoleInput());
  if (EFI_ERROR(Status)) {
    return Fail(STR16("cannot read this screen mode back"), Status);
  }
  EFI_TIME Time;
  const EFI_TIME *Clock = ReadCaptureTime(&Time) ? &Time : nullptr;
  CHAR16 Stem[kFolderNameLength];
  BuildStampedName(STR16("Vistrel_forms_"), Clock, Stem, sizeof(Stem));
  CHAR16 FolderName[kFolderNameLength];
  EFI_FILE_PROTOCOL *Opened = nullptr;
  Status = CreateFolderOnImageVolume(Stem, &Opened, FolderName);
  if (EFI_ERROR(Status)) {
    return Fail(STR16("cannot make the folder for the forms at the root of the tool's volume"), Status);
  }
  FileHandle Folder(Opened);
  FormIndex Index;
  Status = Index.Open(Folder.Get(), &List, Clock);
  if (EFI_ERROR(Status)) {
    return Fail(STR16("cannot write index.txt"), Status);
  }
  Screens.SaveInto(Folder.Get());
  Settings->Begin(Index.Vendor(), Index.Revision(), Index.UefiRevision(), Clock);
  // A walk takes minutes; the firmware would reset the machine at five.
  DisableWatchdog();
  ConsoleOutputState Console;
  Console.Save();
  FormWalk Walk(&List, Options.Text ? nullptr : Browser, Options.Text ? nullptr : &Screens, &Index, ConsoleInput(),
                &Console, Settings);
  Status = Walk.Run(First, Last);
  const UINT32 Seconds = Walk.Elapsed();
  EFI_STATUS Finished = Settings->Finish(Folder.Get());
  const EFI_STATUS Indexed = Index.Finish(Walk.Records(), Walk.RecordCount(), Walk.Ending(), Settings->Summary());
  Finished = EFI_ERROR(Finished) ? Finished : Indexed;
  Console.Restore();

  const WALK_SUMMARY Summary = Summarize(Walk.Records(), Walk.RecordCount());
  Print(STR16("%u forms: %u screens, %u skipped, %u failed%s (%u:%02u). In \\%s: index.html, index.txt, "
              "settings.txt, settings.json\n"),
        static_cast<UINT32>(Summary.Forms), static_cast<UINT32>(Summary.Screens), static_cast<UINT32>(Summary.Skipped),
        static_cast<UINT32>(Summary.Failed), Walk.Ending(), Seconds / 60, Seconds % 60, FolderName);
  const SETTINGS_SUMMARY &Read = Settings->Summary();
  Print(STR16("Settings: %u questions, %u values not read, %u conditions not evaluated.\n"),
        static_cast<UINT32>(Read.Questions), static_cast<UINT32>(Read.NotRead), static_cast<UINT32>(Read.NotEvaluated));
  if (EFI_ERROR(Finished)) {
    Fail(STR16("cannot write the index"), Finished);
  }
  if (Options.NoShell) {
    Print(STR16("Open \\%s\\index.html on another computer.\n"), FolderName);
  }
  if (Walk.Advice() != nullptr) {
    Print(Walk.Advice());  // the walk's own text; as the format, its line ends become the console's
  }
  return EFI_ERROR(Status) ? Status : Finished;
}

}  // namespace

EFI_STATUS ParseFormsOptions(int Argc, char **Argv, FORMS_OPTIONS *Options) {
  *Options = FORMS_OPTIONS{};
  for (int Index = 1; Index < Argc; Index++) {
    const char *Argument = Argv[Index];
    if (SameAscii(Argument, "-list") && !Options->List) {
      Options->List = TRUE;
    } else if (SameAscii(Argument, "-step") && !Options->Step) {
      Options->Step = TRUE;
    } else if (SameAscii(Argument, "-text") && !Options->Text) {
      Options->Text = TRUE;
    } else if (SameAscii(Argument, "-strings") && !Options->Strings) {
      Options->Strings = TRUE;
    } else if (SameAscii(Argument, "-set") && !Options->OneSet && Index + 1 < Argc) {
      const char *Value = Argv[++Index];
      Options->OneSet = TRUE;
      Options->ByGuid = ParseGuid(Value, &Options->SetGuid);
      if (!Options->ByGuid && (!ParseDecimal(Value, &Options->SetNumber) || Options->SetNumber == 0)) {
        return EFI_INVALID_PARAMETER;
      }
    } else {
      return EFI_INVALID_PARAMETER;
    }
  }
  // -text shows nothing to list or step through.
  return Options->Text && (Options->Step || Options->List) ? EFI_INVALID_PARAMETER : EFI_SUCCESS;
}

EFI_STATUS RunFormsTool(const FORMS_OPTIONS *Options) {
  auto *Database = LocateProtocol<EFI_HII_DATABASE_PROTOCOL>();
  auto *Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  if (Database == nullptr || Strings == nullptr) {
    return Fail(STR16("this firmware has no HII database, so no forms"), EFI_UNSUPPORTED);
  }
  EFI_FORM_BROWSER2_PROTOCOL *Browser = nullptr;
  EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput = nullptr;
  if (!Options->List && !Options->Text) {
    Browser = LocateProtocol<EFI_FORM_BROWSER2_PROTOCOL>();
    if (Browser == nullptr) {
      return Fail(STR16("this firmware has no form browser"), EFI_UNSUPPORTED);
    }
    GraphicsOutput = FindGraphicsOutput();
    if (GraphicsOutput == nullptr) {
      return Fail(STR16("no Graphics Output: the screens cannot be read"), EFI_UNSUPPORTED);
    }
  }
  FormList List;
  EFI_STATUS Status = ListForms(Database, Strings, &List);
  if (EFI_ERROR(Status)) {
    return Fail(STR16("cannot list the forms"), Status);
  }
  UINTN First = 0, Last = 0;
  if (!ChooseSets(*Options, List, &First, &Last)) {
    return Fail(STR16("-set names no form set (see -list)"), EFI_NOT_FOUND);
  }
  if (Options->List) {
    PrintListing(List, First, Last);
    return EFI_SUCCESS;
  }
  // Without the routing protocol only EFI variables and the clock can be read.
  FormSettings Settings(Database, Strings, LocateProtocol<EFI_HII_CONFIG_ROUTING_PROTOCOL>(), &List, Options->Strings);
  return Walk(*Options, List, First, Last, Browser, GraphicsOutput, &Settings);
}

int FormsToolMain(int Argc, char **Argv) {
  FORMS_OPTIONS Options;
  if (EFI_ERROR(ParseFormsOptions(Argc, Argv, &Options))) {
    Print(STR16("usage: vistrel-forms.efi [-list | -step | -text] [-set N|GUID] [-strings]\n"));
    return ExitCodeFromStatus(EFI_INVALID_PARAMETER);
  }
  Options.NoShell = Argc == 0;
  return ExitCodeFromStatus(RunFormsTool(&Options));
}
