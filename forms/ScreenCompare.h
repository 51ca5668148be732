// Whether Page Down brought anything new: two screens of one form compared
// as EDK II's display engine draws them, text in character cells, where
// moving the highlight only recolours cells and the help sits in the
// right-hand third and the key help at the bottom.
#pragma once

#include "image/CaptureImage.h"

// The graphics console's character cell, in pixels.
constexpr UINTN kGlyphWidth = 8;
constexpr UINTN kGlyphHeight = 19;
// Rows at the bottom that hold the key help, which follows the highlight.
constexpr UINTN kKeyHelpRows = 5;

// Where the console's character cells lie on the screen.
struct TEXT_GRID {
  UINTN Left;  // pixels from the screen's left edge to the first column
  UINTN Top;
  UINTN Columns;
  UINTN Rows;
};

// The current text mode's cells on a Width x Height screen, centred as
// EDK II's graphics console places them; the whole screen's worth of cells
// from the top-left corner when the console does not say its size.
TEXT_GRID ConsoleTextGrid(UINTN Width, UINTN Height);

// TRUE when A and B (the same size) show the same text in every cell left
// of the help column and above the key help, whatever its colours: each
// cell's pixels split into its background (the colour most of them have)
// and the rest, and those shapes must match.
BOOLEAN SameButHighlightAndHelp(const CaptureImage *A, const CaptureImage *B, const TEXT_GRID &Grid);
