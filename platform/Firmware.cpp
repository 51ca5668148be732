#include "platform/Firmware.h"

FIRMWARE_ORIGIN ReadFirmwareOrigin() { return {gST->FirmwareVendor, gST->FirmwareRevision, gST->Hdr.Revision}; }

VOID DisableWatchdog() { gBS->SetWatchdogTimer(0, 0, 0, nullptr); }

VOID StallMicroseconds(UINTN Microseconds) { gBS->Stall(Microseconds); }

EFI_STATUS ReadVariable(const CHAR16 *Name, const EFI_GUID &Guid, VOID *Data, UINTN *Size) {
  if (gRT == nullptr) {
    return EFI_UNSUPPORTED;
  }
  return gRT->GetVariable(const_cast<CHAR16 *>(Name), const_cast<EFI_GUID *>(&Guid), nullptr, Size, Data);
}

EFI_STATUS ReadGlobalVariable(const CHAR16 *Name, VOID *Data, UINTN *Size) {
  return ReadVariable(Name, gEfiGlobalVariableGuid, Data, Size);
}
