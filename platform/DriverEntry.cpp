// Target-only: the driver image's entry point, called by gnu-efi's crt0. The
// driver uses none of gnu-efi's library state, so InitializeLib is not run.
#include "platform/DriverFrame.h"

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle);
EFI_STATUS EFIAPI DriverUnload(EFI_HANDLE ImageHandle);

// Not EFIAPI: Debian's crt0 makes this call with the System V convention.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  return RunDriverImage(ImageHandle, SystemTable, DriverMain, DriverUnload);
}
