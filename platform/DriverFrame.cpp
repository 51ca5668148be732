#include "platform/DriverFrame.h"

#include "platform/Library.h"

EFI_STATUS RunDriverImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main,
                          EFI_IMAGE_UNLOAD Unload) {
  if (!AdoptFirmwareTables(ImageHandle, SystemTable, TRUE, FALSE)) {
    return EFI_INVALID_PARAMETER;
  }

  VOID *Interface = nullptr;
  const EFI_STATUS Status = gBS->OpenProtocol(ImageHandle, &gEfiLoadedImageProtocolGuid, &Interface, ImageHandle,
                                              nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  if (EFI_ERROR(Status) || Interface == nullptr) {
    return EFI_ERROR(Status) ? Status : EFI_NOT_FOUND;
  }
  static_cast<EFI_LOADED_IMAGE_PROTOCOL *>(Interface)->Unload = Unload;
  return Main(ImageHandle);
}

EFI_STATUS RunBootApplication(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main) {
  if (!AdoptFirmwareTables(ImageHandle, SystemTable, TRUE, TRUE)) {
    return EFI_INVALID_PARAMETER;
  }
  return Main(ImageHandle);
}
