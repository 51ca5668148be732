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

VOID BuildCaptureStem(const EFI_TIME *Time, CHAR16 *Stem) {
  if (Time == nullptr) {
    UnicodeSPrint(Stem, kCaptureStemLength * sizeof(CHAR16), STR16(CAPTURE_STEM_WITHOUT_CLOCK));
    return;
  }
  UnicodeSPrint(Stem, kCaptureStemLength * sizeof(CHAR16), STR16("Vistrel_%02u%02u%02u_%02u%02u%02u"),
                static_cast<UINT32>(Time->Year % 100), UINT32{Time->Month}, UINT32{Time->Day}, UINT32{Time->Hour},
                UINT32{Time->Minute}, UINT32{Time->Second});
}
