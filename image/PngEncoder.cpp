#include "image/PngEncoder.h"

#include <zlib.h>

#include "platform/Library.h"

namespace {

constexpr UINT8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr UINTN kIhdrBytes = 13;
constexpr UINTN kChunkOverhead = 12;  // length, type, CRC
constexpr UINTN kHeaderBytes = sizeof(kSignature) + kChunkOverhead + kIhdrBytes + kPngTextBytes;
constexpr UINT8 kIend[kChunkOverhead] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

// One IDAT chunk is one of the writer's pieces.
constexpr UINTN kIdatDataBytes = 64 * UINTN{1024};
// Filtered rows handed to zlib at a time (at least one row).
constexpr UINTN kBandBytes = 32 * UINTN{1024};

// zlib's defaults for the window and its hash: 256 KiB of state.
constexpr int kWindowBits = 15;
constexpr int kMemoryLevel = 8;
constexpr int kLevel = 6;

constexpr UINT8 kFilterSub = 1;
constexpr UINT8 kFilterUp = 2;

static_assert(kHeaderBytes + kIdatDataBytes + kChunkOverhead + kBandBytes + 6 * kPngLargestWidth +
                      (1 << (kWindowBits + 2)) + (1 << (kMemoryLevel + 9)) + 8 * UINTN{1024} <=
                  kPngEncoderPoolBytes,
              "the encoder's buffers and zlib's state fit its pool");

voidpf ZAlloc(voidpf Opaque, uInt Items, uInt Size) {
  (void)Opaque;
  UINTN Bytes = 0;
  return SafeMultiply(Items, Size, &Bytes) ? AllocatePool(Bytes) : Z_NULL;
}

void ZFree(voidpf Opaque, voidpf Address) {
  (void)Opaque;
  FreePool(Address);
}

// Blue, Green, Red, Reserved to Red, Green, Blue.
VOID ToRgb(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Pixels, UINTN Width, UINT8 *Rgb) {
  for (UINTN Index = 0; Index < Width; Index++) {
    Rgb[0] = Pixels[Index].Red;
    Rgb[1] = Pixels[Index].Green;
    Rgb[2] = Pixels[Index].Blue;
    Rgb += 3;
  }
}

BOOLEAN SameBytes(const UINT8 *First, const UINT8 *Second, UINTN Size) {
  UINTN Index = 0;
  for (; Index + 8 <= Size; Index += 8) {
    UINT64 A, B;
    CopyMem(&A, First + Index, 8);
    CopyMem(&B, Second + Index, 8);
    if (A != B) {
      return FALSE;
    }
  }
  for (; Index < Size; Index++) {
    if (First[Index] != Second[Index]) {
      return FALSE;
    }
  }
  return TRUE;
}

// A filtered byte's distance from zero: small sums deflate well.
inline UINT32 Magnitude(UINT8 Value) { return Value < 128 ? Value : 256u - Value; }

// Whether Up leaves the row nearer zero than Sub, summed over its bytes.
BOOLEAN UpBeatsSub(const UINT8 *Row, const UINT8 *Above, UINTN Bytes) {
  UINT32 SumSub = 0, SumUp = 0;
  for (UINTN Index = 0; Index < Bytes; Index++) {
    SumSub += Magnitude(static_cast<UINT8>(Row[Index] - (Index < 3 ? 0 : Row[Index - 3])));
    SumUp += Magnitude(static_cast<UINT8>(Row[Index] - Above[Index]));
  }
  return SumUp < SumSub;
}

// Firmware screens repeat whole rows (backgrounds, boxes) and runs of one
// colour. A row like the one above is all zeros under Up; any other row takes
// Sub or Up, whichever leaves it nearer zero: Sub for runs along the row, Up
// for text and edges that continue from the row above.
VOID FilterRow(const UINT8 *Row, const UINT8 *Above, UINTN Bytes, UINT8 *Out) {
  if (Above != nullptr && SameBytes(Row, Above, Bytes)) {
    Out[0] = kFilterUp;
    SetMem(Out + 1, Bytes, 0);
    return;
  }
  if (Above != nullptr && UpBeatsSub(Row, Above, Bytes)) {
    Out[0] = kFilterUp;
    for (UINTN Index = 0; Index < Bytes; Index++) {
      Out[1 + Index] = static_cast<UINT8>(Row[Index] - Above[Index]);
    }
    return;
  }
  // The first pixel has none to its left: its bytes stay as they are.
  Out[0] = kFilterSub;
  CopyMem(Out + 1, Row, Bytes < 3 ? Bytes : 3);
  for (UINTN Index = 3; Index < Bytes; Index++) {
    Out[1 + Index] = static_cast<UINT8>(Row[Index] - Row[Index - 3]);
  }
}

}  // namespace

struct PNG_ENCODER {
  const CaptureImage *Image;
  z_stream Stream;
  BOOLEAN StreamStarted;  // deflateEnd is owed
  UINT8 *Header;
  UINTN HeaderSize;
  UINT8 *Rows[2];  // RGB of a row and of the one above it, by row parity
  UINT8 *Band;     // filtered rows, each its filter byte and 3 bytes a pixel
  UINTN RowsPerBand;
  UINT8 *Chunk;  // the IDAT piece: its data at Chunk + 8
  UINTN NextRow;
  UINTN NextIndex;
  BOOLEAN Deflated;  // the stream has ended: IEND comes next
  BOOLEAN Ended;     // IEND is out
};

namespace {

VOID WriteHeader(PNG_ENCODER *Encoder, const PNG_ORIGIN *Origin) {
  UINT8 *At = Encoder->Header;
  CopyMem(At, kSignature, sizeof(kSignature));
  At += sizeof(kSignature);
  UINT8 Ihdr[kIhdrBytes] = {};
  PutBigEndian32(Ihdr, static_cast<UINT32>(Encoder->Image->Width));
  PutBigEndian32(Ihdr + 4, static_cast<UINT32>(Encoder->Image->Height));
  Ihdr[8] = 8;  // bits per sample
  Ihdr[9] = 2;  // RGB; then deflate, per-row filters and no interlace, all 0
  At += WritePngChunk("IHDR", Ihdr, sizeof(Ihdr), At);
  At += WritePngTextChunks(Origin, At);
  Encoder->HeaderSize = static_cast<UINTN>(At - Encoder->Header);
}

VOID FillBand(PNG_ENCODER *Encoder) {
  const CaptureImage *Image = Encoder->Image;
  const UINTN RowBytes = Image->Width * 3;
  const UINTN Left = Image->Height - Encoder->NextRow;
  const UINTN Rows = Left < Encoder->RowsPerBand ? Left : Encoder->RowsPerBand;
  UINT8 *Out = Encoder->Band;
  for (UINTN Count = 0; Count < Rows; Count++, Encoder->NextRow++, Out += RowBytes + 1) {
    const UINTN Row = Encoder->NextRow;
    UINT8 *Rgb = Encoder->Rows[Row & 1];
    ToRgb(Image->Pixels + Row * Image->Width, Image->Width, Rgb);
    FilterRow(Rgb, Row == 0 ? nullptr : Encoder->Rows[(Row + 1) & 1], RowBytes, Out);
  }
  Encoder->Stream.next_in = Encoder->Band;
  Encoder->Stream.avail_in = static_cast<uInt>(Rows * (RowBytes + 1));
}

// Deflates until an IDAT chunk is full or the stream ends.
EFI_STATUS NextIdat(PNG_ENCODER *Encoder, const UINT8 **Piece, UINTN *Size) {
  z_stream *Stream = &Encoder->Stream;
  Stream->next_out = Encoder->Chunk + 8;
  Stream->avail_out = static_cast<uInt>(kIdatDataBytes);
  while (Stream->avail_out > 0) {
    if (Stream->avail_in == 0 && Encoder->NextRow < Encoder->Image->Height) {
      FillBand(Encoder);
    }
    const int Result = deflate(Stream, Encoder->NextRow < Encoder->Image->Height ? Z_NO_FLUSH : Z_FINISH);
    if (Result == Z_STREAM_END) {
      Encoder->Deflated = TRUE;
      break;
    }
    if (Result != Z_OK) {
      return EFI_DEVICE_ERROR;
    }
  }
  const UINTN DataSize = kIdatDataBytes - Stream->avail_out;
  FramePngChunk("IDAT", DataSize, Encoder->Chunk);
  *Piece = Encoder->Chunk;
  *Size = DataSize + kChunkOverhead;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS CreatePngEncoder(const CaptureImage *Image, const PNG_ORIGIN *Origin, PNG_ENCODER **Encoder) {
  *Encoder = nullptr;
  if (Image == nullptr || Image->Width == 0 || Image->Height == 0 || Image->Width > kPngLargestWidth ||
      Image->Height > 0x7FFFFFFF) {
    return EFI_UNSUPPORTED;
  }
  PngEncoderOwner Made(static_cast<PNG_ENCODER *>(AllocateZeroPool(sizeof(PNG_ENCODER))));
  PNG_ENCODER *Self = Made.Get();
  if (Self == nullptr) {
    return EFI_OUT_OF_RESOURCES;
  }
  Self->Image = Image;
  const UINTN FilteredRowBytes = Image->Width * 3 + 1;
  Self->RowsPerBand = kBandBytes / FilteredRowBytes == 0 ? 1 : kBandBytes / FilteredRowBytes;
  if (Self->RowsPerBand > Image->Height) {
    Self->RowsPerBand = Image->Height;
  }
  Self->Header = static_cast<UINT8 *>(AllocatePool(kHeaderBytes));
  Self->Rows[0] = static_cast<UINT8 *>(AllocatePool(Image->Width * 3));
  Self->Rows[1] = static_cast<UINT8 *>(AllocatePool(Image->Width * 3));
  Self->Band = static_cast<UINT8 *>(AllocatePool(Self->RowsPerBand * FilteredRowBytes));
  Self->Chunk = static_cast<UINT8 *>(AllocatePool(kIdatDataBytes + kChunkOverhead));
  if (Self->Header == nullptr || Self->Rows[0] == nullptr || Self->Rows[1] == nullptr || Self->Band == nullptr ||
      Self->Chunk == nullptr) {
    return EFI_OUT_OF_RESOURCES;
  }
  Self->Stream.zalloc = ZAlloc;
  Self->Stream.zfree = ZFree;
  const int Result = deflateInit2(&Self->Stream, kLevel, Z_DEFLATED, kWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
  if (Result != Z_OK) {
    return Result == Z_MEM_ERROR ? EFI_OUT_OF_RESOURCES : EFI_DEVICE_ERROR;
  }
  Self->StreamStarted = TRUE;
  WriteHeader(Self, Origin);
  *Encoder = Made.Release();
  return EFI_SUCCESS;
}

EFI_STATUS GetPngPiece(PNG_ENCODER *Encoder, UINTN Index, const UINT8 **Piece, UINTN *Size) {
  if (Index == 0) {
    if (deflateReset(&Encoder->Stream) != Z_OK) {
      return EFI_DEVICE_ERROR;
    }
    Encoder->Stream.next_in = nullptr;  // what the last start left unread is not this file's
    Encoder->Stream.avail_in = 0;
    Encoder->NextRow = 0;
    Encoder->Deflated = FALSE;
    Encoder->Ended = FALSE;
    Encoder->NextIndex = 1;
    *Piece = Encoder->Header;
    *Size = Encoder->HeaderSize;
    return EFI_SUCCESS;
  }
  if (Index != Encoder->NextIndex) {
    return EFI_INVALID_PARAMETER;  // the stream cannot go back
  }
  Encoder->NextIndex++;
  if (!Encoder->Deflated) {
    return NextIdat(Encoder, Piece, Size);
  }
  if (!Encoder->Ended) {
    Encoder->Ended = TRUE;
    *Piece = kIend;
    *Size = sizeof(kIend);
    return EFI_SUCCESS;
  }
  return EFI_END_OF_FILE;
}

VOID DestroyPngEncoder(PNG_ENCODER *Encoder) {
  if (Encoder == nullptr) {
    return;
  }
  if (Encoder->StreamStarted) {
    deflateEnd(&Encoder->Stream);
  }
  FreePool(Encoder->Header);
  FreePool(Encoder->Rows[0]);
  FreePool(Encoder->Rows[1]);
  FreePool(Encoder->Band);
  FreePool(Encoder->Chunk);
  FreePool(Encoder);
}
