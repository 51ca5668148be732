// One capture of the whole screen, as the hotkey's event runs it.
#pragma once

#include "platform/Efi.h"

// The outcome square at the top-left corner and how long it stays.
constexpr UINTN kSquareSide = 24;
constexpr UINTN kSquareMicroseconds = 500000;
// Pool for the BMP's pieces beside the frame: the file is encoded and written
// a few rows at a time, so a 4K screen needs no second 25 MB buffer.
constexpr UINTN kPieceBytes = 960 * UINTN{1024};

// Reads the whole current mode of the console's Graphics Output (or, without
// one there, the first found) back, writes it as a 24-bit BMP named from the
// firmware's clock at the root of the first volume that takes it, then shows
// a square at the top-left corner, green when saved and red when not, for
// half a second and puts back what was under it. The square comes after the
// read-back, so it is never in a picture. Prints nothing, keeps nothing.
//
// EFI_SUCCESS when the file was saved, otherwise why not:
//   EFI_NOT_FOUND         no Graphics Output (and nothing is shown)
//   EFI_UNSUPPORTED       a mode with no size, or too large for a BMP
//   EFI_OUT_OF_RESOURCES  no pool for the frame or the pieces
//   the read-back's status, or SaveNewFile's.
EFI_STATUS CaptureWholeScreen();
