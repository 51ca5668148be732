// Every HII form set and form the firmware holds, with their titles: the
// listing the walk follows. Packages come from every driver in the machine,
// so every length is checked; a malformed forms package is skipped whole and
// counted, never followed past its end.
#pragma once

#include "platform/Hii.h"
#include "platform/PoolBuffer.h"

// Characters kept of a title, the NUL included; a longer one is cut.
constexpr UINTN kTitleLength = 128;

constexpr UINTN kLanguageLength = 36;  // an RFC 4646 code and its NUL

// Strings in the platform's language (PlatformLang), else en-US, else any
// language the strings have.
class StringReader {
 public:
  explicit StringReader(EFI_HII_STRING_PROTOCOL *Strings);
  // String Id of Handle, cut to Length - 1 characters, into Text: EFI_SUCCESS
  // (empty when no language has it), or EFI_OUT_OF_RESOURCES.
  EFI_STATUS Read(EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16 *Text, UINTN Length);

 private:
  // EFI_NOT_FOUND when this language has no such string (or the database
  // refuses it); EFI_SUCCESS with the text, or EFI_OUT_OF_RESOURCES.
  EFI_STATUS ReadIn(const CHAR8 *Language, EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16 *Text, UINTN Length);

  EFI_HII_STRING_PROTOCOL *mStrings;
  CHAR8 mPlatformLanguage[kLanguageLength];
};

struct FORM_SET_ENTRY {
  EFI_HII_HANDLE Handle;
  EFI_GUID PackageListGuid;
  EFI_GUID FormSetGuid;
  EFI_STRING_ID TitleId;
  BOOLEAN FrontPage;  // its GUID, or the Tiano subclass of the front page: ESC cannot leave it
  UINTN FirstForm;    // its forms are FirstForm .. FirstForm + FormCount - 1
  UINTN FormCount;
  CHAR16 Title[kTitleLength];  // empty when no language has the string
};

struct FORM_ENTRY {
  UINTN Set;  // index of its form set
  EFI_FORM_ID FormId;
  EFI_STRING_ID TitleId;
  BOOLEAN Modal;  // a modal form, which ESC cannot leave
  CHAR16 Title[kTitleLength];
};

struct FormList {
  PoolVector<FORM_SET_ENTRY> Sets;
  PoolVector<FORM_ENTRY> Forms;  // in listing order; a form's position is its index + 1
  UINTN Duplicates = 0;           // form sets dropped as registered before
  PoolVector<EFI_GUID> Malformed;  // the package list of each malformed package skipped
};

// Adds the form sets and forms of one exported package list (Size bytes at
// Data, from the firmware, trusted for nothing) registered under Handle.
// A form set already listed with the same form-set and package-list GUIDs
// is dropped. A forms package that breaks any rule (a length past its end, an
// opcode too short for its fields, scopes that do not match) adds nothing
// and its list's GUID goes to Malformed; a list whose own header is wrong
// adds nothing at all. Titles are left empty. Returns EFI_SUCCESS, or
// EFI_OUT_OF_RESOURCES with the list as it was.
EFI_STATUS AddPackageList(FormList *List, EFI_HII_HANDLE Handle, const UINT8 *Data, UINTN Size);

// Handle's package list, exported whole into *Exported (*Size bytes).
// EFI_NOT_FOUND when it cannot be (gone meanwhile, or absurdly large);
// EFI_OUT_OF_RESOURCES.
EFI_STATUS ExportPackageList(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_HANDLE Handle, PoolBuffer<UINT8> *Exported,
                             UINTN *Size);

// The whole listing: every package list that holds forms, exported and added
// in the database's order, then each title in the platform's language
// (PlatformLang), else en-US, else any language the strings have. Returns
// EFI_SUCCESS (also when there are no forms), EFI_OUT_OF_RESOURCES, or the
// database's error.
EFI_STATUS ListForms(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_STRING_PROTOCOL *Strings, FormList *List);
