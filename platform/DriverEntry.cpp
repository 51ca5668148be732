// Target-only: the driver image's entry point, called by the start-up code. The
// driver uses none of gnu-efi's library state, so InitializeLib is not run.
#include "platform/DriverFrame.h"

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle);
EFI_STATUS EFIAPI DriverUnload(EFI_HANDLE ImageHandle);

// Not EFIAPI: the start-up code (gnu-efi's crt0, or StartAarch64.cpp) makes
// this call with the C convention, System V's on x86-64.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  return RunDriverImage(ImageHandle, SystemTable, DriverMain, DriverUnload);
}
