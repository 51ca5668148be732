#include "resident/ScreenCapture.h"

#include "fileio/VolumeFileWriter.h"
#include "image/BmpEncoder.h"
#include "platform/CaptureClock.h"
#include "platform/PoolBuffer.h"

namespace {

constexpr EFI_GRAPHICS_OUTPUT_BLT_PIXEL kSaved = {0x00, 0xFF, 0x00, 0x00};     // green
constexpr EFI_GRAPHICS_OUTPUT_BLT_PIXEL kNotSaved = {0x00, 0x00, 0xFF, 0x00};  // red

// The BMP of an image as the writer's pieces: the header, then up to a
// budget's worth of file rows at a time, encoded into one reused buffer.
class BmpPieces : public FILE_SOURCE {
 public:
  EFI_STATUS Prepare(const CaptureImage *Image) {
    mImage = Image;
    GetPiece = Get;
    const UINTN RowBytes = BmpRowBytes(Image->Width);
    mRowsPerPiece = kPieceBytes / RowBytes;
    if (mRowsPerPiece == 0) {
      mRowsPerPiece = 1;  // a row wider than the budget: no mode is that wide
    }
    if (mRowsPerPiece > Image->Height) {
      mRowsPerPiece = Image->Height;
    }
    const UINTN Bytes = mRowsPerPiece * RowBytes;
    mBuffer = PoolBuffer<UINT8>(static_cast<UINT8 *>(AllocatePool(Bytes < kBmpHeaderSize ? kBmpHeaderSize : Bytes)));
    return mBuffer ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }

 private:
  static BOOLEAN Get(FILE_SOURCE *This, UINTN Index, const UINT8 **Piece, UINTN *Size) {
    auto *Self = static_cast<BmpPieces *>(This);
    const CaptureImage *Image = Self->mImage;
    *Piece = Self->mBuffer.Get();
    if (Index == 0) {
      WriteBmpHeader(Image->Width, Image->Height, Self->mBuffer.Get());
      *Size = kBmpHeaderSize;
      return TRUE;
    }
    const UINTN FirstRow = (Index - 1) * Self->mRowsPerPiece;
    if (FirstRow >= Image->Height) {
      return FALSE;
    }
    const UINTN Left = Image->Height - FirstRow;
    const UINTN Rows = Left < Self->mRowsPerPiece ? Left : Self->mRowsPerPiece;
    EncodeBmpRows(Image, FirstRow, Rows, Self->mBuffer.Get());
    *Size = Rows * BmpRowBytes(Image->Width);
    return TRUE;
  }

  const CaptureImage *mImage = nullptr;
  PoolBuffer<UINT8> mBuffer;
  UINTN mRowsPerPiece = 0;
};

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

// The current mode's size; FALSE when the firmware does not say.
BOOLEAN ModeSize(const EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN *Width, UINTN *Height) {
  if (GraphicsOutput->Blt == nullptr || GraphicsOutput->Mode == nullptr || GraphicsOutput->Mode->Info == nullptr) {
    return FALSE;
  }
  *Width = GraphicsOutput->Mode->Info->HorizontalResolution;
  *Height = GraphicsOutput->Mode->Info->VerticalResolution;
  return *Width != 0 && *Height != 0;
}

EFI_STATUS SaveScreen(EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN Width, UINTN Height) {
  if (BmpFileLength(Width, Height) == 0) {
    return EFI_UNSUPPORTED;
  }
  CaptureImageOwner Image(CreateScreenImage(Width, Height));
  if (!Image) {
    return EFI_OUT_OF_RESOURCES;
  }
  EFI_STATUS Status = CaptureScreen(Image.Get(), GraphicsOutput);
  if (EFI_ERROR(Status)) {
    return Status;  // a picture that was not read is never saved
  }
  BmpPieces Pieces;
  Status = Pieces.Prepare(Image.Get());
  if (EFI_ERROR(Status)) {
    return Status;
  }
  EFI_TIME Time;
  CHAR16 Stem[kCaptureStemLength];
  BuildCaptureStem(ReadCaptureTime(&Time) ? &Time : nullptr, Stem);
  return SaveNewFile(Stem, STR16(".bmp"), &Pieces);
}

// The square, held, then the screen as it was. Nothing is drawn unless what
// it covers could be read first, so the screen always comes back whole.
VOID ShowOutcome(EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN Width, UINTN Height, BOOLEAN Saved) {
  const UINTN SquareWidth = Width < kSquareSide ? Width : kSquareSide;
  const UINTN SquareHeight = Height < kSquareSide ? Height : kSquareSide;
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL Under[kSquareSide * kSquareSide];
  if (EFI_ERROR(GraphicsOutput->Blt(GraphicsOutput, Under, EfiBltVideoToBltBuffer, 0, 0, 0, 0, SquareWidth,
                                    SquareHeight, 0))) {
    return;
  }
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL Colour = Saved ? kSaved : kNotSaved;
  if (!EFI_ERROR(GraphicsOutput->Blt(GraphicsOutput, &Colour, EfiBltVideoFill, 0, 0, 0, 0, SquareWidth,
                                     SquareHeight, 0))) {
    gBS->Stall(kSquareMicroseconds);
  }
  GraphicsOutput->Blt(GraphicsOutput, Under, EfiBltBufferToVideo, 0, 0, 0, 0, SquareWidth, SquareHeight, 0);
}

}  // namespace

EFI_STATUS CaptureWholeScreen() {
  EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput = FindGraphicsOutput();
  if (GraphicsOutput == nullptr) {
    return EFI_NOT_FOUND;
  }
  UINTN Width = 0, Height = 0;
  if (!ModeSize(GraphicsOutput, &Width, &Height)) {
    return EFI_UNSUPPORTED;  // nothing to read, nothing to draw on
  }
  const EFI_STATUS Status = SaveScreen(GraphicsOutput, Width, Height);
  ShowOutcome(GraphicsOutput, Width, Height, !EFI_ERROR(Status));
  return Status;
}
