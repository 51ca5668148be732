#include "platform/CaptureClock.h"

#include "platform/Print.h"

BOOLEAN IsUsableCaptureTime(const EFI_TIME *Time) {
  return Time->Year >= 1900 && Time->Year <= 9999 && Time->Month >= 1 && Time->Month <= 12 && Time->Day >= 1 &&
         Time->Day <= 31 && Time->Hour <= 23 && Time->Minute <= 59 && Time->Second <= 59;
}

BOOLEAN ReadCaptureTime(EFI_TIME *Time) {
  *Time = EFI_TIME{};
  return !EFI_ERROR(gRT->GetTime(Time, nullptr)) && IsUsableCaptureTime(Time);
}

VOID BuildStampedName(const CHAR16 *Prefix, const EFI_TIME *Time, CHAR16 *Name, UINTN NameBytes) {
  if (Time == nullptr) {
    UnicodeSPrint(Name, NameBytes, STR16("%s000000_000000"), Prefix);
    return;
  }
  UnicodeSPrint(Name, NameBytes, STR16("%s%02u%02u%02u_%02u%02u%02u"), Prefix, static_cast<UINT32>(Time->Year % 100),
                UINT32{Time->Month}, UINT32{Time->Day}, UINT32{Time->Hour}, UINT32{Time->Minute},
                UINT32{Time->Second});
}

VOID BuildCaptureStem(const EFI_TIME *Time, CHAR16 *Stem) {
  BuildStampedName(STR16("Vistrel_"), Time, Stem, kCaptureStemLength * sizeof(CHAR16));
}
