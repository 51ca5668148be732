// Target-only: the entry point of an application that the firmware's boot
// manager starts, called by the start-up code. It uses none of gnu-efi's
// library state, so InitializeLib is not run.
#include "platform/DriverFrame.h"

EFI_STATUS BootApplicationMain(EFI_HANDLE ImageHandle);

// Not EFIAPI: the start-up code (gnu-efi's crt0, or StartAarch64.cpp) makes
// this call with the C convention, System V's on x86-64.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  return RunBootApplication(ImageHandle, SystemTable, BootApplicationMain);
}
