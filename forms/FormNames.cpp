#include "forms/FormNames.h"

#include "platform/Print.h"

namespace {

BOOLEAN IsAsciiAlphanumeric(CHAR16 Character) {
  return (Character >= 'A' && Character <= 'Z') || (Character >= 'a' && Character <= 'z') ||
         (Character >= '0' && Character <= '9');
}

}  // namespace

VOID BuildFormStem(UINTN Position, const CHAR16 *Title, EFI_FORM_ID FormId, CHAR16 *Stem) {
  CHAR16 Safe[kSafeTitleLength + 1];
  UINTN Length = 0;
  BOOLEAN Gap = FALSE;
  for (const CHAR16 *Next = Title; *Next != 0 && Length < kSafeTitleLength; Next++) {
    if (!IsAsciiAlphanumeric(*Next)) {
      Gap = Length != 0;
      continue;
    }
    if (Gap) {
      Safe[Length++] = '_';
      Gap = FALSE;
      if (Length == kSafeTitleLength) {
        break;
      }
    }
    Safe[Length++] = *Next;
  }
  if (Length != 0 && Safe[Length - 1] == '_') {
    Length--;  // a gap cut off at the limit
  }
  Safe[Length] = 0;
  if (Length == 0) {
    UnicodeSPrint(Stem, kFormStemLength * sizeof(CHAR16), STR16("%03u_form_%u"), static_cast<UINT32>(Position),
                  UINT32{FormId});
  } else {
    UnicodeSPrint(Stem, kFormStemLength * sizeof(CHAR16), STR16("%03u_%s"), static_cast<UINT32>(Position), Safe);
  }
}

VOID BuildImageName(const CHAR16 *Stem, UINTN Screen, CHAR16 *Name) {
  if (Screen <= 1) {
    UnicodeSPrint(Name, kImageNameLength * sizeof(CHAR16), STR16("%s.png"), Stem);
  } else {
    UnicodeSPrint(Name, kImageNameLength * sizeof(CHAR16), STR16("%s_%u.png"), Stem, static_cast<UINT32>(Screen));
  }
}

VOID BuildConsoleTitle(const CHAR16 *Title, CHAR16 *Shown, UINTN Length) {
  UINTN At = 0;
  for (; At + 1 < Length && Title[At] != 0; At++) {
    Shown[At] = Title[At] < 0x20 ? ' ' : Title[At];
  }
  Shown[At] = 0;
}
