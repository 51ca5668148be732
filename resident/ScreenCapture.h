// One capture of the whole screen, as the hotkey's event runs it.
#pragma once

#include "platform/Efi.h"

// The outcome square at the top-left corner and how long it stays.
constexpr UINTN kSquareSide = 24;
constexpr UINTN kSquareMicroseconds = 500000;

// Reads the whole current mode of the console's Graphics Output (or, without
// one there, the first found) back, writes it as a PNG named from the
// firmware's clock at the root of FirstVolume, or when that refuses (or is
// null) of the first volume that takes it, then shows
// a square at the top-left corner, green when saved and red when not, for
// half a second and puts back what was under it. The square comes after the
// read-back, so it is never in a picture. Prints nothing, keeps nothing:
// beside the frame it takes at most the PNG encoder's pool.
//
// EFI_SUCCESS when the file was saved, otherwise why not:
//   EFI_NOT_FOUND         no Graphics Output (and nothing is shown)
//   EFI_UNSUPPORTED       a mode with no size, or too wide for the encoder
//   EFI_OUT_OF_RESOURCES  no pool for the frame or the encoder
//   the read-back's status, the encoder's, or SaveNewFile's.
EFI_STATUS CaptureWholeScreen(EFI_HANDLE FirstVolume);
