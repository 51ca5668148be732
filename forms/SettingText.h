// How one setting is told: its value and default as its page would show
// them, the conditions around it, its line in settings.txt and its record
// in settings.json. Firmware strings go in bounded.
#pragma once

#include "forms/FormList.h"
#include "forms/FormQuestions.h"
#include "forms/FormSettings.h"

// Characters kept of a prompt, help or option text, and of a value's name,
// each with its NUL.
constexpr UINTN kSettingTextLength = 256;
constexpr UINTN kNameLength = 64;

enum class VALUE_STATE : UINT8 {
  Read,
  NotSet,      // an EFI variable that does not exist
  NoStorage,   // the driver keeps it
  Unreadable,  // its store's reading failed: Status says how
  Malformed,   // its store's response broke a rule and was skipped
  Outside,     // past its store's end
  Uncovered,   // the response left it out
  Password,
  BitField,
  Unhandled,  // a store kind not read
  None,       // a statement, an action or a link
};

struct ITEM_VALUE {
  VALUE_STATE State;
  EFI_STATUS Status;
  const UINT8 *Bytes;  // Width bytes, little-endian
  UINTN Width;
  UINT64 Number;  // the first eight bytes
  UINT8 Small[8];  // a named value's or the clock's bytes
};

// What telling one form set's settings needs.
struct SET_VIEW {
  const FormQuestions *Questions;
  const ITEM_VALUE *Values;  // one per item
  EFI_HII_HANDLE Handle;
  StringReader *Strings;
  BOOLEAN ShowStrings;      // a string's text, not its length
  const UINT8 *Path;        // the driver's device path with its end, or null
  UINTN PathBytes;
};

// Item Index's line into Text and its record into Json (the form set's
// First record, or one after another), counted into Summary. Unevaluated
// holds the form set's conditions already counted as not evaluated. A blank
// line of the page is left out: *Told is FALSE then. EFI_SUCCESS or
// EFI_OUT_OF_RESOURCES.
EFI_STATUS TellSetting(const SET_VIEW &View, UINTN Index, const CHAR16 *SetTitle, const CHAR16 *FormTitle,
                       BOOLEAN First, PoolVector<UINTN> *Unevaluated, SETTINGS_SUMMARY *Summary, TextBuffer *Text,
                       TextBuffer *Json, BOOLEAN *Told);

// Bytes as lower-case hex, two digits each, as HII writes device paths.
VOID AppendHex(TextBuffer *Out, const UINT8 *Bytes, UINTN Count);
