// The console as the forms tool borrows it: its input swapped for one of the
// tool's own, its output's mode, attribute and cursor put back afterwards.
#pragma once

#include "platform/Efi.h"

// Owner of a swap of gST->ConIn: while installed, everything that reads the
// console through the system table reads Replacement; the firmware's own
// input comes back when the owner goes, on every road, or earlier on request.
// The system table's CRC is kept right both ways.
class ConsoleInputSwap {
 public:
  ConsoleInputSwap() = default;
  ~ConsoleInputSwap() { Restore(); }
  ConsoleInputSwap(const ConsoleInputSwap &) = delete;
  ConsoleInputSwap &operator=(const ConsoleInputSwap &) = delete;

  // Puts Replacement in gST->ConIn; the owner must not hold a swap already.
  VOID Install(EFI_SIMPLE_TEXT_IN_PROTOCOL *Replacement);
  // Gives gST->ConIn back to the input found at Install; nothing otherwise.
  VOID Restore();
  BOOLEAN Installed() const { return mOriginal != nullptr; }

 private:
  EFI_SIMPLE_TEXT_IN_PROTOCOL *mOriginal = nullptr;
  UINT32 mOriginalCrc = 0;
};

// The firmware's console input, as gST holds it now.
EFI_SIMPLE_TEXT_IN_PROTOCOL *ConsoleInput();

// Keys already typed on Input, read and dropped; TRUE when one was ESC.
BOOLEAN DrainKeys(EFI_SIMPLE_TEXT_IN_PROTOCOL *Input);

// Waits for the next key on Input, after dropping what was typed before, and
// reads it. Returns WaitForEvent's or ReadKeyStroke's error, which the
// caller treats as no key (WaitForEvent needs TPL_APPLICATION).
EFI_STATUS WaitForNewKey(EFI_SIMPLE_TEXT_IN_PROTOCOL *Input, EFI_INPUT_KEY *Key);

// A key on the console input, or none after Seconds (a zero key); keys typed
// before the wait do not count. The key is read, so that it does not reach
// whatever reads the console next. Without a timer it waits the time out.
EFI_INPUT_KEY WaitForKeyOrTimeout(UINTN Seconds);

// The console output's text mode in *Columns and *Rows; FALSE when it does
// not say.
BOOLEAN QueryConsoleTextSize(UINTN *Columns, UINTN *Rows);

VOID ClearConsole();

// The console output's mode, attribute, cursor position and visibility, as
// they were at Save, back at Restore (the mode only when it changed, since
// setting it clears the screen).
class ConsoleOutputState {
 public:
  VOID Save();
  VOID Restore() const;

 private:
  BOOLEAN mSaved = FALSE;
  SIMPLE_TEXT_OUTPUT_MODE mMode = {};
};

// Text on the console's last row, cut to fit it, with the output's attribute
// and cursor put back afterwards: a word over a page another program drew.
VOID PrintOnLastRow(const CHAR16 *Text);
