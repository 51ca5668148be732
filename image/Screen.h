// The screen the whole-screen captures read: the console's Graphics Output
// and the size of its current mode.
#pragma once

#include "platform/Efi.h"

// The current mode's size; FALSE when the firmware does not say (no mode
// information, no Blt, or a size of 0).
BOOLEAN GetModeSize(const EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN *Width, UINTN *Height);
