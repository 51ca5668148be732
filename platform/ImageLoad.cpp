#include "platform/ImageLoad.h"

#include "platform/PoolBuffer.h"

EFI_STATUS LoadAndStartImage(EFI_HANDLE Parent, EFI_DEVICE_PATH_PROTOCOL *Path, IMAGE_STEP *Step) {
  *Step = ImageStepLoad;
  EFI_HANDLE Image = nullptr;
  EFI_STATUS Status = gBS->LoadImage(FALSE, Parent, Path, nullptr, 0, &Image);
  if (Status == EFI_SECURITY_VIOLATION && Image != nullptr) {
    gBS->UnloadImage(Image);  // loaded, but refused the right to run
  }
  if (EFI_ERROR(Status)) {
    return Status;
  }
  *Step = ImageStepStart;
  UINTN ExitDataSize = 0;
  CHAR16 *ExitData = nullptr;
  Status = gBS->StartImage(Image, &ExitDataSize, &ExitData);
  PoolBuffer<CHAR16> ExitDataOwner(ExitData);
  return Status;
}
