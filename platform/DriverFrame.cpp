#include "platform/DriverFrame.h"

EFI_STATUS RunDriverImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main,
                          EFI_IMAGE_UNLOAD Unload) {
  if (SystemTable == nullptr || SystemTable->BootServices == nullptr || SystemTable->RuntimeServices == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;

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
  if (SystemTable == nullptr || SystemTable->BootServices == nullptr || SystemTable->RuntimeServices == nullptr ||
      SystemTable->ConOut == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;
  return Main(ImageHandle);
}
