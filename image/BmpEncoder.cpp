#include "image/BmpEncoder.h"

#if defined(__x86_64__) || defined(__i386__)
#define VISTREL_SSE_KERNELS 1
#include <cpuid.h>
#endif

#include "platform/Library.h"
#include "platform/Print.h"

namespace {

constexpr UINT64 kLargestBmpFile = 0xFFFFFFFF;

typedef VOID (*ROW_KERNEL)(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Width);

// The last pixels of a row, fewer than a kernel's step, whatever the kernel.
VOID EncodePixels(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Count) {
  for (UINTN Index = 0; Index < Count; Index++, Destination += 3) {
    Destination[0] = Source[Index].Blue;
    Destination[1] = Source[Index].Green;
    Destination[2] = Source[Index].Red;
  }
}

// Two BGRx pixels in a 64-bit word (little-endian, as every UEFI machine is)
// become six BGR bytes at its bottom, the top two bytes zero.
constexpr UINT64 kFirstPixel = 0x0000000000FFFFFFull;
constexpr UINT64 kSecondPixel = 0x0000FFFFFF000000ull;

// --- Portable: 64-bit integer registers --------------------------------------

UINT64 SqueezedWord(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Pixels) {
  UINT64 Word;
  __builtin_memcpy(&Word, Pixels, sizeof(Word));
  return (Word & kFirstPixel) | ((Word >> 8) & kSecondPixel);
}

VOID StoreWord(UINT8 *Destination, UINT64 Word) { __builtin_memcpy(Destination, &Word, sizeof(Word)); }

// For processors without the SSE kernels, and for AArch64, whose image uses
// no SIMD register at all. Eight pixels (four words) become 24 bytes, packed
// as each lane of the SSE2 kernel below packs its group.
VOID EncodeRowPortable(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Width) {
  UINTN Index = 0;
  for (; Index + 8 <= Width; Index += 8, Destination += 24) {
    const UINT64 W0 = SqueezedWord(Source + Index), W1 = SqueezedWord(Source + Index + 2);
    const UINT64 W2 = SqueezedWord(Source + Index + 4), W3 = SqueezedWord(Source + Index + 6);
    StoreWord(Destination, W0 | W1 << 48);
    StoreWord(Destination + 8, W1 >> 16 | W2 << 32);
    StoreWord(Destination + 16, W2 >> 32 | W3 << 16);
  }
  EncodePixels(Source + Index, Destination, Width - Index);
}

#if VISTREL_SSE_KERNELS

// The i686 compiler assumes no SSE; only these functions use it, and they run
// only where the processor has it and the firmware has enabled it.
#if defined(__i386__)
#define SSE2_FUNCTION __attribute__((target("sse2")))
#else
#define SSE2_FUNCTION
#endif

// --- SSE2, the x86-64 baseline ----------------------------------------------

// Two 64-bit lanes; SSE2 does the lane arithmetic and the lane moves below in
// one instruction each.
typedef UINT64 WORD_PAIR __attribute__((vector_size(16)));

SSE2_FUNCTION WORD_PAIR LoadPair(const VOID *Source) {
  WORD_PAIR Value;
  __builtin_memcpy(&Value, Source, sizeof(Value));
  return Value;
}

SSE2_FUNCTION VOID StorePair(VOID *Destination, WORD_PAIR Value) {
  __builtin_memcpy(Destination, &Value, sizeof(Value));
}

// Squeeze in each lane.
SSE2_FUNCTION WORD_PAIR SqueezePair(WORD_PAIR Pixels) {
  return (Pixels & kFirstPixel) | ((Pixels >> 8) & kSecondPixel);
}

// Sixteen pixels (64 bytes) become 48 bytes, as two independent groups of
// eight side by side, group 0 in lane 0 and group 1 in lane 1. Per group the
// four squeezed words W0..W3 (six bytes each) are packed into three:
//   W0 | W1 << 48,   W1 >> 16 | W2 << 32,   W2 >> 32 | W3 << 16.
// SSE2 has no byte shuffle, hence shifts and masks.
SSE2_FUNCTION VOID EncodeSixteenPixelsSse2(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination) {
  const WORD_PAIR A = LoadPair(Source), B = LoadPair(Source + 4);        // group 0
  const WORD_PAIR C = LoadPair(Source + 8), D = LoadPair(Source + 12);   // group 1
  const WORD_PAIR W0 = SqueezePair(__builtin_shufflevector(A, C, 0, 2));
  const WORD_PAIR W1 = SqueezePair(__builtin_shufflevector(A, C, 1, 3));
  const WORD_PAIR W2 = SqueezePair(__builtin_shufflevector(B, D, 0, 2));
  const WORD_PAIR W3 = SqueezePair(__builtin_shufflevector(B, D, 1, 3));
  const WORD_PAIR Out0 = W0 | (W1 << 48);
  const WORD_PAIR Out1 = (W1 >> 16) | (W2 << 32);
  const WORD_PAIR Out2 = (W2 >> 32) | (W3 << 16);
  StorePair(Destination, __builtin_shufflevector(Out0, Out1, 0, 2));
  StorePair(Destination + 16, __builtin_shufflevector(Out2, Out0, 0, 3));
  StorePair(Destination + 32, __builtin_shufflevector(Out1, Out2, 1, 3));
}

SSE2_FUNCTION VOID EncodeRowSse2(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source, UINT8 *Destination, UINTN Width) {
  UINTN Index = 0;
  for (; Index + 16 <= Width; Index += 16, Destination += 48) {
    EncodeSixteenPixelsSse2(Source + Index, Destination);
  }
  EncodePixels(Source + Index, Destination, Width - Index);
}

// --- SSSE3: pshufb -----------------------------------------------------------

typedef char BYTE_VECTOR __attribute__((vector_size(16)));

struct SHUFFLE_MASK {
  char Bytes[16];
};

// The pshufb mask that moves into output vector Output (bytes 16 * Output on
// of the 48 packed bytes) what comes from input vector Input (pixels
// 4 * Input to 4 * Input + 3); a set top bit gives a zero byte.
constexpr SHUFFLE_MASK PackMask(int Output, int Input) {
  SHUFFLE_MASK Mask = {};
  for (int Byte = 0; Byte < 16; Byte++) {
    const int Packed = Output * 16 + Byte;
    const int Pixel = Packed / 3;
    Mask.Bytes[Byte] = static_cast<char>(Pixel / 4 == Input ? 4 * (Pixel % 4) + Packed % 3 : -128);
  }
  return Mask;
}

SSE2_FUNCTION BYTE_VECTOR LoadBytes(const VOID *Source) {
  BYTE_VECTOR Value;
  __builtin_memcpy(&Value, Source, sizeof(Value));
  return Value;
}

constexpr SHUFFLE_MASK kMask00 = PackMask(0, 0), kMask01 = PackMask(0, 1), kMask11 = PackMask(1, 1),
                       kMask12 = PackMask(1, 2), kMask22 = PackMask(2, 2), kMask23 = PackMask(2, 3);

// Only this function is compiled for SSSE3; it runs only where CPUID says the
// processor has it. Builtins rather than <tmmintrin.h>, which drags in the C
// library's headers. Each 16-byte output draws on two of the four inputs.
__attribute__((target("ssse3"))) VOID EncodeRowSsse3(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Source,
                                                      UINT8 *Destination, UINTN Width) {
  const BYTE_VECTOR M00 = LoadBytes(&kMask00), M01 = LoadBytes(&kMask01), M11 = LoadBytes(&kMask11);
  const BYTE_VECTOR M12 = LoadBytes(&kMask12), M22 = LoadBytes(&kMask22), M23 = LoadBytes(&kMask23);
  UINTN Index = 0;
  for (; Index + 16 <= Width; Index += 16, Destination += 48) {
    const BYTE_VECTOR In0 = LoadBytes(Source + Index), In1 = LoadBytes(Source + Index + 4);
    const BYTE_VECTOR In2 = LoadBytes(Source + Index + 8), In3 = LoadBytes(Source + Index + 12);
    const BYTE_VECTOR Out0 = __builtin_ia32_pshufb128(In0, M00) | __builtin_ia32_pshufb128(In1, M01);
    const BYTE_VECTOR Out1 = __builtin_ia32_pshufb128(In1, M11) | __builtin_ia32_pshufb128(In2, M12);
    const BYTE_VECTOR Out2 = __builtin_ia32_pshufb128(In2, M22) | __builtin_ia32_pshufb128(In3, M23);
    __builtin_memcpy(Destination, &Out0, sizeof(Out0));
    __builtin_memcpy(Destination + 16, &Out1, sizeof(Out1));
    __builtin_memcpy(Destination + 32, &Out2, sizeof(Out2));
  }
  EncodePixels(Source + Index, Destination, Width - Index);
}

#if defined(__i386__)
constexpr UINTN kCr0Emulation = 1u << 2;
constexpr UINTN kCr4OsFxsr = 1u << 9;

// SSE instructions fault unless the firmware has turned them on: CR4.OSFXSR
// set and CR0.EM (x87 emulation) clear. UEFI asks that of x86-64 firmware
// only. Firmware runs in ring 0, where control registers can be read.
BOOLEAN SseEnabled() {
  UINTN Cr0 = 0, Cr4 = 0;
  __asm__ __volatile__("mov %%cr0, %0" : "=r"(Cr0));
  __asm__ __volatile__("mov %%cr4, %0" : "=r"(Cr4));
  return (Cr4 & kCr4OsFxsr) != 0 && (Cr0 & kCr0Emulation) == 0;
}
#endif

// CPUID is asked here rather than through GCC's __builtin_cpu_supports,
// whose constructor a UEFI image never runs. A processor without CPUID (an
// i486) gets the portable kernel.
BOOLEAN KernelUsable(BMP_ROW_KERNEL Kernel) {
  unsigned int Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
  if (Kernel == BmpRowKernelPortable) {
    return TRUE;
  }
#if defined(__i386__)
  if (!SseEnabled()) {
    return FALSE;
  }
#endif
  if (__get_cpuid(1, &Eax, &Ebx, &Ecx, &Edx) == 0) {
    return FALSE;
  }
  return Kernel == BmpRowKernelSsse3 ? (Ecx & bit_SSSE3) != 0 : (Edx & bit_SSE2) != 0;
}

ROW_KERNEL KernelFunction(BMP_ROW_KERNEL Kernel) {
  return Kernel == BmpRowKernelSsse3 ? EncodeRowSsse3 : Kernel == BmpRowKernelSse2 ? EncodeRowSse2 : EncodeRowPortable;
}

BMP_ROW_KERNEL FastestKernel() {
  return KernelUsable(BmpRowKernelSsse3)  ? BmpRowKernelSsse3
         : KernelUsable(BmpRowKernelSse2) ? BmpRowKernelSse2
                                          : BmpRowKernelPortable;
}

#else  // VISTREL_SSE_KERNELS

BOOLEAN KernelUsable(BMP_ROW_KERNEL Kernel) { return Kernel == BmpRowKernelPortable; }

ROW_KERNEL KernelFunction(BMP_ROW_KERNEL) { return EncodeRowPortable; }

BMP_ROW_KERNEL FastestKernel() { return BmpRowKernelPortable; }

#endif  // VISTREL_SSE_KERNELS

// Chosen on first use, once per run.
ROW_KERNEL mRowKernel;

ROW_KERNEL RowKernel() {
  if (mRowKernel == nullptr) {
    SelectBmpRowKernel(FastestKernel());
  }
  return mRowKernel;
}

}  // namespace

BOOLEAN SelectBmpRowKernel(BMP_ROW_KERNEL Kernel) {
  if (!KernelUsable(Kernel)) {
    return FALSE;
  }
  mRowKernel = KernelFunction(Kernel);
  return TRUE;
}

BMP_ROW_KERNEL BmpRowKernelInUse() {
  const ROW_KERNEL InUse = RowKernel();
  if (InUse == KernelFunction(BmpRowKernelPortable)) {
    return BmpRowKernelPortable;
  }
  return InUse == KernelFunction(BmpRowKernelSsse3) ? BmpRowKernelSsse3 : BmpRowKernelSse2;
}

UINTN BmpFileLength(UINTN Width, UINTN Height) {
  UINTN RowBytes = 0;
  UINTN Length = 0;
  if (!SafeMultiply(Width, kBmpBytesPerPixel, &RowBytes) || !SafeAdd(RowBytes, 3, &RowBytes) ||
      !SafeMultiply(RowBytes & ~static_cast<UINTN>(3), Height, &Length) ||
      !SafeAdd(Length, kBmpHeaderSize, &Length) || Length > kLargestBmpFile || Height > kLargestBmpFile) {
    return 0;
  }
  return Length;
}

VOID WriteBmpHeader(UINTN Width, UINTN Height, UINT8 *Destination) {
  BMP_FILE_HEADER Header = {};
  Header.Signature[0] = 'B';
  Header.Signature[1] = 'M';
  Header.FileSize = static_cast<UINT32>(BmpFileLength(Width, Height));
  Header.PixelDataOffset = kBmpHeaderSize;
  Header.InfoHeaderSize = kBmpInfoHeaderSize;
  Header.Width = static_cast<UINT32>(Width);
  Header.Height = static_cast<UINT32>(Height);
  Header.Planes = 1;
  Header.BitsPerPixel = 24;
  CopyMem(Destination, &Header, sizeof(Header));
}

VOID EncodeBmpRows(const CaptureImage *Image, UINTN FirstRow, UINTN RowCount, UINT8 *Destination) {
  const ROW_KERNEL Kernel = RowKernel();
  const UINTN PixelBytes = Image->Width * kBmpBytesPerPixel;
  const UINTN Padding = BmpRowBytes(Image->Width) - PixelBytes;
  for (UINTN Row = FirstRow; Row < FirstRow + RowCount; Row++) {
    Kernel(Image->Pixels + (Image->Height - 1 - Row) * Image->Width, Destination, Image->Width);
    Destination += PixelBytes;
    // The buffer is not zero-filled: the padding is written like the rest.
    for (UINTN Pad = 0; Pad < Padding; Pad++) {
      *Destination++ = 0;
    }
  }
}

VOID EncodeBmp(const CaptureImage *Image, UINT8 **FileData, UINTN *FileLength) {
  *FileData = nullptr;
  *FileLength = 0;
  if (Image == nullptr) {
    return;
  }
  const UINTN Length = BmpFileLength(Image->Width, Image->Height);
  if (Length == 0 || (Image->Pixels == nullptr && Length != kBmpHeaderSize)) {
    return;
  }
  auto *File = static_cast<UINT8 *>(AllocatePool(Length));
  if (File == nullptr) {
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(Length));
    return;
  }
  WriteBmpHeader(Image->Width, Image->Height, File);
  if (Image->Pixels != nullptr) {
    EncodeBmpRows(Image, 0, Image->Height, File + kBmpHeaderSize);
  }
  *FileData = File;
  *FileLength = Length;
}
