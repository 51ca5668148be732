#include "image/Screen.h"

BOOLEAN GetModeSize(const EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN *Width, UINTN *Height) {
  if (GraphicsOutput->Blt == nullptr || GraphicsOutput->Mode == nullptr || GraphicsOutput->Mode->Info == nullptr) {
    return FALSE;
  }
  *Width = GraphicsOutput->Mode->Info->HorizontalResolution;
  *Height = GraphicsOutput->Mode->Info->VerticalResolution;
  return *Width != 0 && *Height != 0;
}
