// The command's name on machines without the CMOS clock (AArch64), and in the
// host tests; the x86 images leave this file out.
#include "app/CaptureName.h"
#include "platform/CaptureClock.h"
#include "platform/Print.h"

VOID BuildCaptureFileNameFromFirmwareClock(CHAR16 *FileName, UINTN FileNameBytes) {
  EFI_TIME Time;
  CHAR16 Stem[kCaptureStemLength];
  // The frame takes the runtime services as the firmware hands them over.
  BuildCaptureStem(gRT != nullptr && ReadCaptureTime(&Time) ? &Time : nullptr, Stem);
  UnicodeSPrint(FileName, FileNameBytes, STR16("%s.bmp"), Stem);
}
