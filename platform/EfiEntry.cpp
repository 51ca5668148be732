// Target-only: the image's entry point, called by gnu-efi's crt0.
#include "platform/ApplicationFrame.h"

extern "C" VOID InitializeLib(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

int main(int Argc, char **Argv);

// Not EFIAPI: Debian's crt0 makes this call with the System V convention.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  InitializeLib(ImageHandle, SystemTable);
  return RunShellApplication(ImageHandle, SystemTable, main);
}
