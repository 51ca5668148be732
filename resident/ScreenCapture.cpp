#include "resident/ScreenCapture.h"

#include "fileio/VolumeFileWriter.h"
#include "image/PngEncoder.h"
#include "platform/CaptureClock.h"

namespace {

constexpr EFI_GRAPHICS_OUTPUT_BLT_PIXEL kSaved = {0x00, 0xFF, 0x00, 0x00};     // green
constexpr EFI_GRAPHICS_OUTPUT_BLT_PIXEL kNotSaved = {0x00, 0x00, 0xFF, 0x00};  // red

// The PNG encoder as the writer's source of pieces.
struct PngFile : FILE_SOURCE {
  PNG_ENCODER *Encoder;
};

EFI_STATUS GetPngFilePiece(FILE_SOURCE *This, UINTN Index, const UINT8 **Piece, UINTN *Size) {
  return GetPngPiece(static_cast<PngFile *>(This)->Encoder, Index, Piece, Size);
}

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

EFI_STATUS SaveScreen(EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, UINTN Width, UINTN Height, EFI_HANDLE FirstVolume) {
  if (Width > kPngLargestWidth) {
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
  // One reading of the clock for the name and the text, so they never
  // straddle a second.
  EFI_TIME Time;
  const EFI_TIME *Clock = ReadCaptureTime(&Time) ? &Time : nullptr;
  const PNG_ORIGIN Origin = {gST->FirmwareVendor, gST->FirmwareRevision, gST->Hdr.Revision, Clock};
  PNG_ENCODER *Made = nullptr;
  Status = CreatePngEncoder(Image.Get(), &Origin, &Made);
  PngEncoderOwner Encoder(Made);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  PngFile File;
  File.GetPiece = GetPngFilePiece;
  File.Encoder = Encoder.Get();
  CHAR16 Stem[kCaptureStemLength];
  BuildCaptureStem(Clock, Stem);
  return SaveNewFile(Stem, STR16(".png"), &File, FirstVolume);
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

EFI_STATUS CaptureWholeScreen(EFI_HANDLE FirstVolume) {
  EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput = FindGraphicsOutput();
  if (GraphicsOutput == nullptr) {
    return EFI_NOT_FOUND;
  }
  UINTN Width = 0, Height = 0;
  if (!ModeSize(GraphicsOutput, &Width, &Height)) {
    return EFI_UNSUPPORTED;  // nothing to read, nothing to draw on
  }
  const EFI_STATUS Status = SaveScreen(GraphicsOutput, Width, Height, FirstVolume);
  ShowOutcome(GraphicsOutput, Width, Height, !EFI_ERROR(Status));
  return Status;
}
