#include "platform/Firmware.h"

FIRMWARE_ORIGIN ReadFirmwareOrigin() { return {gST->FirmwareVendor, gST->FirmwareRevision, gST->Hdr.Revision}; }

VOID AppendRevisions(TextBuffer *Text, UINT32 Revision, UINT32 UefiRevision, const char *Separator) {
  const UINT32 Minor = UefiRevision & 0xFFFF;
  Text->Ascii("revision 0x");
  Text->Hex32(Revision);
  Text->Ascii(Separator);
  Text->Ascii("UEFI ");
  Text->Decimal(UefiRevision >> 16);
  Text->Put('.');
  Text->Decimal(Minor / 10);
  if (Minor % 10 != 0) {
    Text->Put('.');
    Text->Decimal(Minor % 10);
  }
}

VOID DisableWatchdog() { gBS->SetWatchdogTimer(0, 0, 0, nullptr); }

VOID StallMicroseconds(UINTN Microseconds) { gBS->Stall(Microseconds); }

EFI_STATUS ReadGlobalVariable(const CHAR16 *Name, VOID *Data, UINTN *Size) {
  if (gRT == nullptr) {
    return EFI_UNSUPPORTED;
  }
  return gRT->GetVariable(const_cast<CHAR16 *>(Name), &gEfiGlobalVariableGuid, nullptr, Size, Data);
}
