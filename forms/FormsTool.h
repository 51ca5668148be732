// vistrel-forms.efi: every HII form the firmware holds, shown one by one with
// its form browser and saved as PNGs, changing nothing.
#pragma once

#include "platform/Efi.h"

struct FORMS_OPTIONS {
  BOOLEAN List;    // -list: print the listing, show nothing
  BOOLEAN Step;    // -step: hold each saved screen until a key is pressed
  BOOLEAN Text;    // -text: read every setting, show no form
  BOOLEAN Strings;  // -strings: a string question's text, not its length
  BOOLEAN OneSet;  // -set N or -set GUID
  BOOLEAN ByGuid;
  UINTN SetNumber;  // 1-based, as -list numbers the sets
  EFI_GUID SetGuid;
  BOOLEAN NoShell;  // started by the firmware or the stick's launcher: no arguments at all
};

// The shell's arguments (UTF-8, the command's name first), which a person
// typed: options in any order and case, each once. EFI_INVALID_PARAMETER for
// anything else, a number out of range, a malformed GUID ("8-4-4-4-12"
// hexadecimal digits, braces allowed), or -text with -step or -list.
EFI_STATUS ParseFormsOptions(int Argc, char **Argv, FORMS_OPTIONS *Options);

// The whole run: the listing; with -list, printed; otherwise the folder
// Vistrel_forms_YYMMDD_hhmmss at the root of the tool's own volume, made
// before anything is shown, the walk (with -text, the settings alone),
// index.txt, index.html, settings.txt and settings.json, and two closing
// lines. EFI_UNSUPPORTED, with one line and no folder, without an HII
// database and strings (or, to show forms, a form browser or Graphics Output);
// EFI_NOT_FOUND when -set names no form set; the folder's or the walk's
// status otherwise (see FormWalk::Run).
EFI_STATUS RunFormsTool(const FORMS_OPTIONS *Options);

// main's body: the options parsed, the run, its status as an exit code.
// Without a shell there are no arguments, not even the command's name: the
// defaults then, and the summary says where to open the contact sheet.
int FormsToolMain(int Argc, char **Argv);
