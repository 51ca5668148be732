// Target-only: the image's entry point, called by the start-up code.
#include "platform/ApplicationFrame.h"

extern "C" VOID InitializeLib(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

int main(int Argc, char **Argv);

// Not EFIAPI: the start-up code (gnu-efi's crt0, or StartAarch64.cpp) makes
// this call with the C convention, System V's on x86-64.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  InitializeLib(ImageHandle, SystemTable);
  return RunShellApplication(ImageHandle, SystemTable, main);
}
