// A screen image as a PNG file (8-bit RGB, no interlace), made piece by piece
// for the writer: the pixels are filtered and deflated by zlib a band of rows
// at a time, so no buffer beside the image holds the file, at any size.
#pragma once

#include "image/CaptureImage.h"
#include "image/PngText.h"

// Pool an encoder takes beside the image, zlib's state included, at most.
constexpr UINTN kPngEncoderPoolBytes = 1024 * UINTN{1024};
// The widest image it takes: its row buffers stay within that pool.
constexpr UINTN kPngLargestWidth = 32768;

struct PNG_ENCODER;

// An encoder for Image (which must outlive it) with Origin's text chunks.
// Returns EFI_SUCCESS and the encoder, which the caller owns
// (PngEncoderOwner), or, keeping nothing:
//   EFI_UNSUPPORTED       an empty image, or one wider than kPngLargestWidth
//   EFI_OUT_OF_RESOURCES  no pool for it or for zlib's state
EFI_STATUS CreatePngEncoder(const CaptureImage *Image, const PNG_ORIGIN *Origin, PNG_ENCODER **Encoder);

// Piece Index of the file, in *Piece (*Size bytes, valid until the next
// call): 0 is the signature, IHDR and the text chunks, then each piece is one
// IDAT chunk, then IEND. Pieces come in order; asking for 0 again starts the
// file over. Returns EFI_SUCCESS, EFI_END_OF_FILE after IEND, or
// EFI_DEVICE_ERROR when zlib fails (the file cannot be finished).
EFI_STATUS GetPngPiece(PNG_ENCODER *Encoder, UINTN Index, const UINT8 **Piece, UINTN *Size);

// Gives the encoder and its pool back; null is ignored.
VOID DestroyPngEncoder(PNG_ENCODER *Encoder);

// Move-only owner: the encoder goes back to the pool on every road.
class PngEncoderOwner {
 public:
  explicit PngEncoderOwner(PNG_ENCODER *Encoder = nullptr) : mEncoder(Encoder) {}
  ~PngEncoderOwner() { DestroyPngEncoder(mEncoder); }
  PngEncoderOwner(const PngEncoderOwner &) = delete;
  PngEncoderOwner &operator=(const PngEncoderOwner &) = delete;

  PNG_ENCODER *Get() const { return mEncoder; }
  // Hands the encoder to the caller, who destroys it from now on.
  PNG_ENCODER *Release() {
    PNG_ENCODER *Encoder = mEncoder;
    mEncoder = nullptr;
    return Encoder;
  }

 private:
  PNG_ENCODER *mEncoder;
};
