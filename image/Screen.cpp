#include "image/Screen.h"

EFI_GRAPHICS_OUTPUT_PROTOCOL *FindGraphicsOutput() {
  VOID *Interface = nullptr;
  if (gST->ConsoleOutHandle != nullptr &&
      !EFI_ERROR(gBS->OpenProtocol(gST->ConsoleOutHandle, &gEfiGraphicsOutputProtocolGuid, &Interface,
                                   gImageHandle, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL)) &&
      Interface != nullptr) {
    return static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL *>(Interface);
  }
  Interface = nullptr;
  if (!EFI_ERROR(gBS->LocateProtocol(&gEfiGraphicsOutputProtocolGuid, nullptr, &Interface))) {
    return static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL *>(Interface);
  }
  return nullptr;
}

BOOLEAN GetModeSize(const EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN *Width, UINTN *Height) {
  if (GraphicsOutput->Blt == nullptr || GraphicsOutput->Mode == nullptr || GraphicsOutput->Mode->Info == nullptr) {
    return FALSE;
  }
  *Width = GraphicsOutput->Mode->Info->HorizontalResolution;
  *Height = GraphicsOutput->Mode->Info->VerticalResolution;
  return *Width != 0 && *Height != 0;
}
