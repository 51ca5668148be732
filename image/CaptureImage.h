// The screen image and its read-back from the graphics output: the command's
// fixed 800x600 picture, or the whole screen at any size.
#pragma once

#include "platform/Efi.h"

struct CaptureImage {
  UINTN Width;   // pixels per row
  UINTN Height;  // rows, top screen line first
  UINT8 Flag;    // 0 when made; nothing reads it afterwards
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Pixels;  // Width * Height, rows packed with no gap
};

static_assert(offsetof(CaptureImage, Width) == 0, "record layout");
static_assert(offsetof(CaptureImage, Height) == sizeof(UINTN), "record layout");
static_assert(offsetof(CaptureImage, Flag) == 2 * sizeof(UINTN), "record layout");
static_assert(offsetof(CaptureImage, Pixels) == 3 * sizeof(UINTN), "record layout: 24 bytes in, or 12 on IA32");

// The rectangle taken from the screen's top-left corner, whatever the mode.
constexpr UINTN kCaptureWidth = 800;
constexpr UINTN kCaptureHeight = 600;
constexpr UINTN kCapturePixelBytes = kCaptureWidth * kCaptureHeight * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL);
static_assert(kCapturePixelBytes == 1920000, "800 x 600 pixels of 4 bytes");

// A black 800x600 image (record and pixels zero-filled from the pool), or
// null after printing "Error Allocate %d Bytes" with the size that failed.
// The caller owns it and gives it back with DestroyCaptureImage.
CaptureImage *CreateCaptureImage();

// A black Width x Height image: a read-back that reports success without
// writing (a console splitter with no screen behind it does) then saves
// black, never old pool memory. Null, silently, when the pool has no room or
// the size is 0 or overflows. The caller owns it (DestroyCaptureImage).
CaptureImage *CreateScreenImage(UINTN Width, UINTN Height);

// Returns the pixel buffer and the record to the pool; null is ignored.
VOID DestroyCaptureImage(CaptureImage *Image);

// Reads the top-left Width x Height rectangle of the screen into Image.
// Returns EFI_INVALID_PARAMETER for a null image or graphics output, else
// Blt's status (an error when the screen is smaller than the image): the
// caller must not save a picture that was not read.
EFI_STATUS CaptureScreen(CaptureImage *Image, EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput);

// Move-only owner: the image goes back to the pool on every road.
class CaptureImageOwner {
 public:
  explicit CaptureImageOwner(CaptureImage *Image) : mImage(Image) {}
  ~CaptureImageOwner() { DestroyCaptureImage(mImage); }
  CaptureImageOwner(const CaptureImageOwner &) = delete;
  CaptureImageOwner &operator=(const CaptureImageOwner &) = delete;

  CaptureImage *Get() const { return mImage; }
  explicit operator bool() const { return mImage != nullptr; }

 private:
  CaptureImage *mImage;
};
