// Every setting as text: each question of the walked form sets with its
// current value and default, read as the form browser reads them when it
// opens a page, and written to settings.txt (a line each, to search) and
// settings.json (every field, to compare machines). Reading is read-only by
// construction: values come from GetVariable, the routing protocol's
// ExtractConfig and GetTime alone.
#pragma once

#include "forms/FormList.h"
#include "platform/FileHandle.h"
#include "platform/Text.h"

struct SETTINGS_SUMMARY {
  UINTN Questions;
  UINTN NotRead;        // values that could not be had
  UINTN NotEvaluated;   // conditions whose truth could not be told
  UINTN Differing;      // values known to differ from their defaults
};

class FormSettings {
 public:
  // Routing may be null: stores served by drivers are then not readable.
  // Heading is the firmware and time, as the index gives them; ShowStrings
  // writes strings' text instead of their length.
  FormSettings(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_STRING_PROTOCOL *Strings,
               EFI_HII_CONFIG_ROUTING_PROTOCOL *Routing, const FormList *List, BOOLEAN ShowStrings);

  // Starts both files' text with the firmware's heading.
  VOID Begin(const CHAR16 *Vendor, UINT32 Revision, UINT32 UefiRevision, const EFI_TIME *Time);

  // The questions of form set Set on the forms Included marks (one flag per
  // form of the set, in listing order). A form set whose IFR cannot be read
  // gets a note and the rest goes on. EFI_SUCCESS or EFI_OUT_OF_RESOURCES.
  EFI_STATUS Read(UINTN Set, const BOOLEAN *Included);

  // settings.txt and settings.json into Folder.
  EFI_STATUS Finish(EFI_FILE_PROTOCOL *Folder);

  const SETTINGS_SUMMARY &Summary() const { return mSummary; }

 private:
  struct SET_READING;
  VOID ReadStores(SET_READING *Reading);
  VOID ReadValues(SET_READING *Reading);
  EFI_STATUS Write(SET_READING *Reading, const BOOLEAN *Included);

  EFI_HII_DATABASE_PROTOCOL *mDatabase;
  EFI_HII_CONFIG_ROUTING_PROTOCOL *mRouting;
  const FormList *mList;
  StringReader mStrings;
  BOOLEAN mShowStrings;
  TextBuffer mText;
  TextBuffer mJson;
  BOOLEAN mFirstSet = TRUE;
  SETTINGS_SUMMARY mSummary = {};
};
