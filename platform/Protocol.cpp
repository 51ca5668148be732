#include "platform/Protocol.h"

namespace {

VOID *Checked(EFI_STATUS Found, VOID *Interface, EFI_STATUS *Status) {
  if (!EFI_ERROR(Found) && Interface == nullptr) {
    Found = EFI_NOT_FOUND;
  }
  if (Status != nullptr) {
    *Status = Found;
  }
  return EFI_ERROR(Found) ? nullptr : Interface;
}

}  // namespace

VOID *OpenProtocolOn(EFI_HANDLE Handle, EFI_GUID *Guid, EFI_STATUS *Status) {
  VOID *Interface = nullptr;
  const EFI_STATUS Found =
      gBS->OpenProtocol(Handle, Guid, &Interface, gImageHandle, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  return Checked(Found, Interface, Status);
}

VOID *LocateProtocolOf(EFI_GUID *Guid, EFI_STATUS *Status) {
  VOID *Interface = nullptr;
  const EFI_STATUS Found = gBS->LocateProtocol(Guid, nullptr, &Interface);
  return Checked(Found, Interface, Status);
}

PoolBuffer<EFI_HANDLE> LocateHandles(EFI_GUID *Guid, UINTN *Count) {
  EFI_HANDLE *Handles = nullptr;
  *Count = 0;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, Guid, nullptr, Count, &Handles)) || Handles == nullptr) {
    *Count = 0;
  }
  return PoolBuffer<EFI_HANDLE>(Handles);
}

EFI_HANDLE ImageVolume(EFI_HANDLE ImageHandle) {
  const EFI_LOADED_IMAGE_PROTOCOL *Image = OpenProtocol<EFI_LOADED_IMAGE_PROTOCOL>(ImageHandle);
  return Image == nullptr ? nullptr : Image->DeviceHandle;
}

EFI_GRAPHICS_OUTPUT_PROTOCOL *FindGraphicsOutput() {
  EFI_GRAPHICS_OUTPUT_PROTOCOL *Found = nullptr;
  if (gST->ConsoleOutHandle != nullptr) {
    Found = OpenProtocol<EFI_GRAPHICS_OUTPUT_PROTOCOL>(gST->ConsoleOutHandle);
  }
  return Found != nullptr ? Found : LocateProtocol<EFI_GRAPHICS_OUTPUT_PROTOCOL>();
}

EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *ConsoleInputEx() {
  return gST->ConsoleInHandle == nullptr ? nullptr
                                         : OpenProtocol<EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL>(gST->ConsoleInHandle);
}
