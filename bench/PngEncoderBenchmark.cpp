// The driver's PNG encoder against libpng (Debian's, with Debian's zlib) on
// two full-HD frames: a setup-like one, a capture of OVMF's front page scaled
// up by nearest neighbour, and noise, the worst case. Ours starts from the
// frame as the firmware gives it (Blue, Green, Red, Reserved), so its time
// includes the conversion; libpng is given RGB rows. libpng runs at level 1
// and at its default level, both with its default filter choice. Prints each
// one's time and bytes, then, for the setup-like frame, "png-time-ratio:"
// (ours / libpng level 1) and "png-size-ratio:" (ours / libpng default).
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "image/PngEncoder.h"
#include "tests/fake/FakeFirmware.h"

namespace {

constexpr UINTN kWidth = 1920;
constexpr UINTN kHeight = 1080;

struct Frame {
  const char *Name;
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Pixels;
  std::vector<UINT8> Rgb;
  size_t Bytes[3];  // ours, libpng level 1, libpng default
};

Frame gFrames[2] = {{"setup-like", {}, {}, {}}, {"noise", {}, {}, {}}};
const int kLevels[2] = {1, -1};  // -1: libpng's default

void FillRgb(Frame &F) {
  F.Rgb.resize(F.Pixels.size() * 3);
  for (size_t Index = 0; Index < F.Pixels.size(); Index++) {
    F.Rgb[Index * 3] = F.Pixels[Index].Red;
    F.Rgb[Index * 3 + 1] = F.Pixels[Index].Green;
    F.Rgb[Index * 3 + 2] = F.Pixels[Index].Blue;
  }
}

// The fixture, scaled to the frame's size.
bool LoadSetupLike(Frame &F) {
  png_image Image = {};
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, VISTREL_BENCH_FIXTURE)) {
    std::fprintf(stderr, "%s: %s\n", VISTREL_BENCH_FIXTURE, Image.message);
    return false;
  }
  Image.format = PNG_FORMAT_BGRA;
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Small(PNG_IMAGE_SIZE(Image) / 4);
  if (!png_image_finish_read(&Image, nullptr, Small.data(), 0, nullptr)) {
    std::fprintf(stderr, "%s: %s\n", VISTREL_BENCH_FIXTURE, Image.message);
    return false;
  }
  F.Pixels.resize(kWidth * kHeight);
  for (UINTN Y = 0; Y < kHeight; Y++)
    for (UINTN X = 0; X < kWidth; X++) {
      F.Pixels[Y * kWidth + X] = Small[(Y * Image.height / kHeight) * Image.width + X * Image.width / kWidth];
      F.Pixels[Y * kWidth + X].Reserved = 0;
    }
  return true;
}

size_t EncodeOurs(const Frame &F, std::vector<UINT8> &Out) {
  CaptureImage Image{kWidth, kHeight, 0, const_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL *>(F.Pixels.data())};
  const PNG_ORIGIN Origin = {nullptr, 0, 0, nullptr};
  PNG_ENCODER *Encoder = nullptr;
  if (EFI_ERROR(CreatePngEncoder(&Image, &Origin, &Encoder))) return 0;
  size_t Length = 0;
  const UINT8 *Piece = nullptr;
  UINTN Size = 0;
  for (UINTN Index = 0; GetPngPiece(Encoder, Index, &Piece, &Size) == EFI_SUCCESS; Index++) {
    std::memcpy(Out.data() + Length, Piece, Size);  // what the writer does with it, near enough
    Length += Size;
  }
  DestroyPngEncoder(Encoder);
  return Length;
}

size_t EncodeLibpng(const Frame &F, int Level, std::vector<UINT8> &Out) {
  png_structp Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop Info = png_create_info_struct(Png);
  struct Sink {
    std::vector<UINT8> *Out;
    size_t Length;
  } S = {&Out, 0};
  if (setjmp(png_jmpbuf(Png))) {
    png_destroy_write_struct(&Png, &Info);
    return 0;
  }
  png_set_write_fn(
      Png, &S,
      [](png_structp P, png_bytep Data, size_t Size) {
        auto *To = static_cast<Sink *>(png_get_io_ptr(P));
        std::memcpy(To->Out->data() + To->Length, Data, Size);
        To->Length += Size;
      },
      nullptr);
  if (Level >= 0) png_set_compression_level(Png, Level);
  png_set_IHDR(Png, Info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(Png, Info);
  for (UINTN Row = 0; Row < kHeight; Row++) png_write_row(Png, F.Rgb.data() + Row * kWidth * 3);
  png_write_end(Png, Info);
  png_destroy_write_struct(&Png, &Info);
  return S.Length;
}

struct PngRun {
  Frame *F;
  int Encoder;  // 0 ours, 1 libpng level 1, 2 libpng default
};
PngRun gRuns[6];
const char *const kEncoders[] = {"ours", "libpng-level1", "libpng-default"};

void Encode(benchmark::State &State, const void *Argument) {
  const PngRun &Run = *static_cast<const PngRun *>(Argument);
  fake::FakeFirmware Firmware;
  UseMallocPool(&Firmware.Bs);
  std::vector<UINT8> Out(kWidth * kHeight * 4 + 65536);
  size_t Bytes = 0;
  for (auto _ : State) {
    Bytes = Run.Encoder == 0 ? EncodeOurs(*Run.F, Out) : EncodeLibpng(*Run.F, kLevels[Run.Encoder - 1], Out);
    benchmark::DoNotOptimize(Out.data());
    benchmark::ClobberMemory();
  }
  Run.F->Bytes[Run.Encoder] = Bytes;  // reported after the run, beside the medians
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * kWidth * kHeight * 4));
}

}  // namespace

void RegisterPngBenchmarks() {
  if (!LoadSetupLike(gFrames[0])) std::exit(1);
  gFrames[1].Pixels.resize(kWidth * kHeight);
  std::srand(1);
  for (auto &P : gFrames[1].Pixels)
    P = {static_cast<UINT8>(std::rand()), static_cast<UINT8>(std::rand()), static_cast<UINT8>(std::rand()), 0};
  for (int FrameIndex = 0; FrameIndex < 2; FrameIndex++) {
    FillRgb(gFrames[FrameIndex]);
    for (int Encoder = 0; Encoder < 3; Encoder++) {
      gRuns[FrameIndex * 3 + Encoder] = {&gFrames[FrameIndex], Encoder};
      AddBenchmark(std::string("Png/") + gFrames[FrameIndex].Name + "/" + kEncoders[Encoder], Encode,
                   &gRuns[FrameIndex * 3 + Encoder]);
    }
  }
}

bool ReportPng(const Medians &Times) {
  double Setup[3] = {};
  for (const Frame &F : gFrames) {
    std::printf("png %s %zux%zu:", F.Name, static_cast<size_t>(kWidth), static_cast<size_t>(kHeight));
    for (int Encoder = 0; Encoder < 3; Encoder++) {
      const auto Found = Times.find(std::string("Png/") + F.Name + "/" + kEncoders[Encoder]);
      const double Median = Found == Times.end() ? 0.0 : Found->second;
      std::printf("%s %s %.1f ms, %zu bytes", Encoder == 0 ? "" : ";", kEncoders[Encoder], Median / 1000,
                  F.Bytes[Encoder]);
      if (&F == &gFrames[0]) Setup[Encoder] = Median;
    }
    std::printf("\n");
  }
  const Frame &F = gFrames[0];
  if (Setup[0] <= 0 || Setup[1] <= 0 || F.Bytes[2] == 0) {
    return false;
  }
  std::printf("png-time-ratio: %.2f\npng-size-ratio: %.2f\n", Setup[0] / Setup[1],
              static_cast<double>(F.Bytes[0]) / static_cast<double>(F.Bytes[2]));
  return true;
}
