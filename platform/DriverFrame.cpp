#include "platform/DriverFrame.h"

#include "platform/Library.h"
#include "platform/Protocol.h"

EFI_STATUS RunDriverImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main,
                          EFI_IMAGE_UNLOAD Unload) {
  if (!AdoptFirmwareTables(ImageHandle, SystemTable, TRUE, FALSE)) {
    return EFI_INVALID_PARAMETER;
  }

  EFI_STATUS Status = EFI_SUCCESS;
  EFI_LOADED_IMAGE_PROTOCOL *Image = OpenProtocol<EFI_LOADED_IMAGE_PROTOCOL>(ImageHandle, &Status);
  if (Image == nullptr) {
    return Status;
  }
  Image->Unload = Unload;
  return Main(ImageHandle);
}

EFI_STATUS RunBootApplication(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, DRIVER_MAIN Main) {
  if (!AdoptFirmwareTables(ImageHandle, SystemTable, TRUE, TRUE)) {
    return EFI_INVALID_PARAMETER;
  }
  return Main(ImageHandle);
}
