#include "app/CaptureCommand.h"

#include "app/CaptureName.h"
#include "fileio/VolumeFileWriter.h"
#include "image/BmpEncoder.h"
#include "platform/ApplicationFrame.h"
#include "platform/Firmware.h"
#include "platform/Print.h"
#include "platform/Shell.h"

namespace {

constexpr UINTN kStatusColumn = 20;
constexpr UINTN kStatusRow = 13;
constexpr UINTN kWhiteOnRed = EFI_TEXT_ATTR(EFI_WHITE, EFI_RED);
constexpr UINTN kWhiteOnBlack = EFI_TEXT_ATTR(EFI_WHITE, EFI_BLACK);
static_assert(kWhiteOnRed == 0x4F && kWhiteOnBlack == 0x0F, "console attributes");
constexpr UINTN kPauseMicroseconds = 500000;

// Both lines are 37 characters, so the error line covers the banner whole.
constexpr char16_t kBanner[] = u"       Screenshot Capturing ...      ";
constexpr char16_t kSavingFileError[] = u"        Saving File Error !!!        ";
static_assert(sizeof(kBanner) / 2 == 38 && sizeof(kSavingFileError) / 2 == 38, "37 characters each");

const CHAR16 *Text16(const char16_t *Text) { return reinterpret_cast<const CHAR16 *>(Text); }

VOID ShowAtStatusPosition(const char16_t *Line) {
  gST->ConOut->SetCursorPosition(gST->ConOut, kStatusColumn, kStatusRow);
  Print(Text16(Line));
}

// Encodes the image and writes it; nothing is written without a whole BMP.
EFI_STATUS EncodeAndSave(const CaptureImage *Image, const CHAR16 *Path) {
  UINT8 *Data = nullptr;
  UINTN Length = 0;
  EncodeBmp(Image, &Data, &Length);
  PoolBuffer<UINT8> File(Data);
  if (!File) {
    return EFI_OUT_OF_RESOURCES;
  }
  return SaveFileToVolume(Path, File.Get(), Length);
}

// From the image to the cleared screen; the closing line is the caller's.
EFI_STATUS CaptureToFile(const CHAR16 *Path) {
  CaptureImageOwner Image(CreateCaptureImage());
  if (!Image) {
    return EFI_OUT_OF_RESOURCES;
  }
  VOID *Interface = nullptr;
  EFI_STATUS Status = gBS->LocateProtocol(&gEfiGraphicsOutputProtocolGuid, nullptr, &Interface);
  if (EFI_ERROR(Status)) {
    return Status;  // no graphics output: no banner, no pause, no clearing
  }

  EFI_SIMPLE_TEXT_OUT_PROTOCOL *ConOut = gST->ConOut;
  // The banner comes after the read-back so that it is never in the picture.
  Status = CaptureScreen(Image.Get(), static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL *>(Interface));
  ConOut->SetAttribute(ConOut, kWhiteOnRed);
  if (EFI_ERROR(Status)) {
    // A picture that was not read is never saved as a screenshot.
    ShowAtStatusPosition(kSavingFileError);
  } else {
    ShowAtStatusPosition(kBanner);
    Status = EncodeAndSave(Image.Get(), Path);
    if (EFI_ERROR(Status)) {
      ShowAtStatusPosition(kSavingFileError);
    }
  }
  ConOut->SetAttribute(ConOut, kWhiteOnBlack);
  StallMicroseconds(kPauseMicroseconds);
  ConOut->ClearScreen(ConOut);
  return Status;
}

}  // namespace

EFI_STATUS RunCapture() {
  CHAR16 FileName[kCaptureFileNameBytes / sizeof(CHAR16)];
  BuildCaptureFileName(FileName, sizeof(FileName));
  CapturePath Path;
  EFI_STATUS Status = Path.Build(ShellGetCurrentDir(nullptr), StrLen(FileName));

  EFI_SIMPLE_TEXT_OUT_PROTOCOL *ConOut = gST->ConOut;
  ConOut->EnableCursor(ConOut, FALSE);  // before the read-back: no cursor in the picture
  if (!EFI_ERROR(Status)) {
    Path.AppendFileName(FileName);
    Status = CaptureToFile(Path.Text());
  }
  Print(STR16("\nGenerate File at:%S"), Path.Text());
  ConOut->EnableCursor(ConOut, TRUE);
  return Status;
}

int CaptureCommandMain(int Argc, char **Argv) {
  (void)Argc;
  (void)Argv;
  return ExitCodeFromStatus(RunCapture());
}
