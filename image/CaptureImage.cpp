#include "image/CaptureImage.h"

#include "platform/Library.h"
#include "platform/Print.h"

namespace {

// The record and its black pixels, or null with the byte count that failed.
CaptureImage *NewImage(UINTN Width, UINTN Height, UINTN *FailedBytes) {
  *FailedBytes = 0;
  UINTN PixelBytes = 0;
  if (!SafeMultiply(Width, Height, &PixelBytes) ||
      !SafeMultiply(PixelBytes, sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL), &PixelBytes)) {
    return nullptr;
  }
  auto *Image = static_cast<CaptureImage *>(AllocateZeroPool(sizeof(CaptureImage)));
  if (Image == nullptr) {
    *FailedBytes = sizeof(CaptureImage);
    return nullptr;
  }
  Image->Pixels = static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL *>(AllocateZeroPool(PixelBytes));
  if (Image->Pixels == nullptr) {
    FreePool(Image);
    *FailedBytes = PixelBytes;
    return nullptr;
  }
  Image->Width = Width;
  Image->Height = Height;
  Image->Flag = 0;
  return Image;
}

}  // namespace

CaptureImage *CreateCaptureImage() {
  UINTN FailedBytes = 0;
  CaptureImage *Image = NewImage(kCaptureWidth, kCaptureHeight, &FailedBytes);
  if (Image == nullptr) {
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(FailedBytes));
  }
  return Image;
}

CaptureImage *CreateScreenImage(UINTN Width, UINTN Height) {
  UINTN FailedBytes = 0;
  return Width == 0 || Height == 0 ? nullptr : NewImage(Width, Height, &FailedBytes);
}

VOID DestroyCaptureImage(CaptureImage *Image) {
  if (Image != nullptr) {
    FreePool(Image->Pixels);
    FreePool(Image);
  }
}

EFI_STATUS CaptureScreen(CaptureImage *Image, EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput) {
  if (Image == nullptr || Image->Pixels == nullptr || GraphicsOutput == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  if (GraphicsOutput->Blt == nullptr) {
    return EFI_UNSUPPORTED;
  }
  return GraphicsOutput->Blt(GraphicsOutput, Image->Pixels, EfiBltVideoToBltBuffer, 0, 0, 0, 0,
                             Image->Width, Image->Height, 0);
}
