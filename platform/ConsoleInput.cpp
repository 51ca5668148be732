#include "platform/ConsoleInput.h"

#include "platform/Event.h"
#include "platform/Firmware.h"

namespace {

constexpr UINTN kLastRowCharacters = 128;
// More typed keys than a person types between two forms.
constexpr UINTN kMostKeysDrained = 256;

// Raised, so that no event sees the table with its new entry and old CRC.
// Without a CRC from the firmware, Fallback stands in.
VOID SetConsoleInput(EFI_SIMPLE_TEXT_IN_PROTOCOL *Input, UINT32 Fallback) {
  const EFI_TPL Previous = gBS->RaiseTPL(TPL_NOTIFY);
  gST->ConIn = Input;
  gST->Hdr.CRC32 = 0;
  UINT32 Crc = 0;
  gST->Hdr.CRC32 = EFI_ERROR(gBS->CalculateCrc32(gST, gST->Hdr.HeaderSize, &Crc)) ? Fallback : Crc;
  gBS->RestoreTPL(Previous);
}

}  // namespace

VOID ConsoleInputSwap::Install(EFI_SIMPLE_TEXT_IN_PROTOCOL *Replacement) {
  mOriginal = gST->ConIn;
  mOriginalCrc = gST->Hdr.CRC32;
  SetConsoleInput(Replacement, 0);
}

// The table as found had its own CRC: right again once its input is back,
// unless someone else changed the table meanwhile.
VOID ConsoleInputSwap::Restore() {
  if (mOriginal != nullptr) {
    SetConsoleInput(mOriginal, mOriginalCrc);
    mOriginal = nullptr;
  }
}

EFI_SIMPLE_TEXT_IN_PROTOCOL *ConsoleInput() { return gST->ConIn; }

BOOLEAN DrainKeys(EFI_SIMPLE_TEXT_IN_PROTOCOL *Input) {
  BOOLEAN Escape = FALSE;
  EFI_INPUT_KEY Key = {};
  // Bounded: an input that never runs dry must not hold the tool.
  for (UINTN Read = 0; Read < kMostKeysDrained && Input->ReadKeyStroke(Input, &Key) == EFI_SUCCESS; Read++) {
    Escape = Escape || Key.ScanCode == SCAN_ESC;
  }
  return Escape;
}

EFI_STATUS WaitForNewKey(EFI_SIMPLE_TEXT_IN_PROTOCOL *Input, EFI_INPUT_KEY *Key) {
  DrainKeys(Input);
  for (;;) {
    UINTN Index = 0;
    EFI_STATUS Status = gBS->WaitForEvent(1, &Input->WaitForKey, &Index);
    if (EFI_ERROR(Status)) {
      return Status;
    }
    Status = Input->ReadKeyStroke(Input, Key);
    if (Status != EFI_NOT_READY) {
      return Status;
    }
  }
}

EFI_INPUT_KEY WaitForKeyOrTimeout(UINTN Seconds) {
  EFI_INPUT_KEY Key = {};
  EFI_SIMPLE_TEXT_IN_PROTOCOL *Input = gST->ConIn;
  Event Timer;
  if (EFI_ERROR(Timer.CreateTimer()) || EFI_ERROR(Timer.SetRelative(Seconds * kTimerTicksPerSecond))) {
    StallMicroseconds(Seconds * kMicrosecondsPerSecond);
    return Key;
  }
  EFI_EVENT Events[2] = {Timer.Get(), nullptr};
  UINTN Count = 1;
  if (Input != nullptr && !EFI_ERROR(Input->Reset(Input, FALSE))) {
    Events[Count++] = Input->WaitForKey;
  }
  UINTN Signalled = 0;
  if (!EFI_ERROR(gBS->WaitForEvent(Count, Events, &Signalled)) && Count == 2 && Signalled == 1 &&
      EFI_ERROR(Input->ReadKeyStroke(Input, &Key))) {
    Key = EFI_INPUT_KEY{};
  }
  return Key;
}

BOOLEAN QueryConsoleTextSize(UINTN *Columns, UINTN *Rows) {
  EFI_SIMPLE_TEXT_OUT_PROTOCOL *ConOut = gST->ConOut;
  return ConOut->Mode != nullptr && ConOut->QueryMode != nullptr &&
         !EFI_ERROR(ConOut->QueryMode(ConOut, static_cast<UINTN>(ConOut->Mode->Mode), Columns, Rows));
}

VOID ClearConsole() { gST->ConOut->ClearScreen(gST->ConOut); }

VOID ConsoleOutputState::Save() {
  mSaved = gST->ConOut->Mode != nullptr;
  if (mSaved) {
    mMode = *gST->ConOut->Mode;
  }
}

VOID ConsoleOutputState::Restore() const {
  if (!mSaved) {
    return;
  }
  EFI_SIMPLE_TEXT_OUT_PROTOCOL *ConOut = gST->ConOut;
  if (ConOut->Mode->Mode != mMode.Mode) {
    ConOut->SetMode(ConOut, static_cast<UINTN>(mMode.Mode));
  }
  ConOut->SetAttribute(ConOut, static_cast<UINTN>(mMode.Attribute));
  ConOut->SetCursorPosition(ConOut, static_cast<UINTN>(mMode.CursorColumn), static_cast<UINTN>(mMode.CursorRow));
  ConOut->EnableCursor(ConOut, mMode.CursorVisible);
}

VOID PrintOnLastRow(const CHAR16 *Text) {
  EFI_SIMPLE_TEXT_OUT_PROTOCOL *ConOut = gST->ConOut;
  UINTN Columns = 0, Rows = 0;
  if (!QueryConsoleTextSize(&Columns, &Rows) || Rows == 0 || Columns < 2) {
    return;
  }
  // Short of the last column: writing there would scroll the page.
  CHAR16 Shown[kLastRowCharacters];
  UINTN Length = 0;
  for (; Text[Length] != 0 && Length + 1 < Columns && Length + 1 < kLastRowCharacters; Length++) {
    Shown[Length] = Text[Length];
  }
  Shown[Length] = 0;
  ConsoleOutputState Before;
  Before.Save();
  ConOut->SetCursorPosition(ConOut, 0, Rows - 1);
  ConOut->OutputString(ConOut, Shown);
  Before.Restore();
}
