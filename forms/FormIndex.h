// The walk's two indexes in its folder: index.txt, a line per form written
// as the walk goes, so that a walk that stops still leaves its record; and
// index.html at the end, a contact sheet of every form. Firmware strings
// (titles, the vendor) are untrusted: control characters become spaces, and
// in HTML every markup character is escaped. Both are UTF-8.
#pragma once

#include "forms/FormList.h"
#include "forms/FormRecord.h"
#include "forms/FormSettings.h"
#include "platform/FileHandle.h"
#include "image/PngText.h"
#include "platform/Text.h"

struct WALK_SUMMARY {
  UINTN Forms;  // records, whatever became of them
  UINTN Screens;
  UINTN Skipped;
  UINTN Failed;
};

WALK_SUMMARY Summarize(const FORM_RECORD *Records, UINTN Count);

// "Settings: N questions, N values not read, N conditions not evaluated."
VOID AppendSettingsLine(TextBuffer *Line, const SETTINGS_SUMMARY &Settings);

// Text as the new file Name in Folder: EFI_OUT_OF_RESOURCES when the text
// could not be built whole, else the writer's status.
EFI_STATUS SaveText(EFI_FILE_PROTOCOL *Folder, const CHAR16 *Name, const TextBuffer &Text);

class FormIndex {
 public:
  // Creates index.txt in Folder and writes its heading (the firmware, the
  // time, malformed packages skipped). Returns the writer's status.
  EFI_STATUS Open(EFI_FILE_PROTOCOL *Folder, const FormList *List, const EFI_TIME *Time);

  // One line for Record; EFI_OUT_OF_RESOURCES or the writer's status.
  EFI_STATUS Append(const FORM_RECORD &Record);

  // The closing lines in index.txt, then index.html with every record and
  // a link to the settings.
  EFI_STATUS Finish(const FORM_RECORD *Records, UINTN Count, const CHAR16 *Ending, const SETTINGS_SUMMARY &Settings);

  // The firmware, as the heading names it.
  const CHAR16 *Vendor() const { return mVendor; }
  UINT32 Revision() const { return mRevision; }
  UINT32 UefiRevision() const { return mUefiRevision; }

 private:
  VOID Entry(const FORM_RECORD &Record, BOOLEAN Html);
  VOID Describe(const FORM_RECORD &Record, BOOLEAN Html);
  VOID Images(const FORM_RECORD &Record, BOOLEAN Html);
  VOID Heading(BOOLEAN Html);
  EFI_STATUS Write();

  EFI_FILE_PROTOCOL *mFolder = nullptr;
  const FormList *mList = nullptr;
  FileHandle mText{nullptr};
  TextBuffer mLine;
  // The firmware and the time, for both indexes' headings.
  CHAR16 mVendor[kPngVendorCharacters + 1] = {};
  UINT32 mRevision = 0;
  UINT32 mUefiRevision = 0;
  EFI_TIME mTime = {};
  BOOLEAN mHasTime = FALSE;
};
