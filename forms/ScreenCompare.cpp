#include "forms/ScreenCompare.h"

#include "platform/ConsoleInput.h"

namespace {

UINT32 Colour(const CaptureImage *Image, UINTN X, UINTN Y) {
  const EFI_GRAPHICS_OUTPUT_BLT_PIXEL &Pixel = Image->Pixels[Y * Image->Width + X];
  return static_cast<UINT32>(Pixel.Blue) | (static_cast<UINT32>(Pixel.Green) << 8) |
         (static_cast<UINT32>(Pixel.Red) << 16);
}

// A text cell has two colours: the first pixel's when at least half have it,
// else the other one.
UINT32 Background(const CaptureImage *Image, UINTN Left, UINTN Top) {
  const UINT32 First = Colour(Image, Left, Top);
  UINT32 Other = First;
  UINTN Same = 0;
  for (UINTN Y = Top; Y < Top + kGlyphHeight; Y++) {
    for (UINTN X = Left; X < Left + kGlyphWidth; X++) {
      const UINT32 Pixel = Colour(Image, X, Y);
      if (Pixel == First) {
        Same++;
      } else {
        Other = Pixel;
      }
    }
  }
  return 2 * Same >= kGlyphWidth * kGlyphHeight ? First : Other;
}

BOOLEAN SameShape(const CaptureImage *A, const CaptureImage *B, UINTN Left, UINTN Top) {
  const UINT32 BackgroundA = Background(A, Left, Top);
  const UINT32 BackgroundB = Background(B, Left, Top);
  for (UINTN Y = Top; Y < Top + kGlyphHeight; Y++) {
    for (UINTN X = Left; X < Left + kGlyphWidth; X++) {
      if ((Colour(A, X, Y) == BackgroundA) != (Colour(B, X, Y) == BackgroundB)) {
        return FALSE;
      }
    }
  }
  return TRUE;
}

}  // namespace

TEXT_GRID ConsoleTextGrid(UINTN Width, UINTN Height) {
  UINTN Columns = 0, Rows = 0;
  if (!QueryConsoleTextSize(&Columns, &Rows) || Columns * kGlyphWidth > Width || Rows * kGlyphHeight > Height) {
    Columns = Width / kGlyphWidth;
    Rows = Height / kGlyphHeight;
  }
  return TEXT_GRID{(Width - Columns * kGlyphWidth) / 2, (Height - Rows * kGlyphHeight) / 2, Columns, Rows};
}

BOOLEAN SameButHighlightAndHelp(const CaptureImage *A, const CaptureImage *B, const TEXT_GRID &Grid) {
  const UINTN Columns = Grid.Columns * 2 / 3;  // EDK II's help starts a column or so further right
  const UINTN Rows = Grid.Rows > kKeyHelpRows ? Grid.Rows - kKeyHelpRows : 0;
  for (UINTN Row = 0; Row < Rows; Row++) {
    for (UINTN Column = 0; Column < Columns; Column++) {
      if (!SameShape(A, B, Grid.Left + Column * kGlyphWidth, Grid.Top + Row * kGlyphHeight)) {
        return FALSE;
      }
    }
  }
  return TRUE;
}
