#include "image/CaptureImage.h"

#include "platform/Library.h"
#include "platform/Print.h"

CaptureImage *CreateCaptureImage() {
  auto *Image = static_cast<CaptureImage *>(AllocateZeroPool(sizeof(CaptureImage)));
  if (Image == nullptr) {
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(sizeof(CaptureImage)));
    return nullptr;
  }
  Image->Pixels = static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL *>(AllocateZeroPool(kCapturePixelBytes));
  if (Image->Pixels == nullptr) {
    gBS->FreePool(Image);
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(kCapturePixelBytes));
    return nullptr;
  }
  Image->Width = kCaptureWidth;
  Image->Height = kCaptureHeight;
  Image->Flag = 0;
  return Image;
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
