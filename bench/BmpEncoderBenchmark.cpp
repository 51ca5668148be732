// EncodeBmp against the floor it cannot beat: a plain memcpy of the same
// source bytes. Each row kernel on the command's 800x600, and the kernel this
// processor gets on full-HD and 4K frames. Prints each kernel's ratio of
// medians and "ratio: X.XX" for the kernel in use. The encoder's time
// includes what every call does: allocating the file.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/Bench.h"
#include "image/BmpEncoder.h"
#include "platform/Library.h"
#include "tests/fake/FakeFirmware.h"

namespace {

struct BmpRun {
  UINTN Width, Height;
  BMP_ROW_KERNEL Kernel;
};

std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Frame(size_t Pixels) {
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Made(Pixels);
  for (size_t Index = 0; Index < Made.size(); Index++) {
    Made[Index] = {static_cast<UINT8>(Index), static_cast<UINT8>(Index >> 8), static_cast<UINT8>(Index >> 16), 0};
  }
  return Made;
}

void Encode(benchmark::State &State, const void *Argument) {
  const BmpRun &Run = *static_cast<const BmpRun *>(Argument);
  if (!SelectBmpRowKernel(Run.Kernel)) {
    State.SkipWithError("this processor lacks the kernel");
    return;
  }
  fake::FakeFirmware Firmware;
  UseMallocPool(&Firmware.Bs);
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Pixels = Frame(Run.Width * Run.Height);
  CaptureImage Image{Run.Width, Run.Height, 0, Pixels.data()};
  for (auto _ : State) {
    UINT8 *File = nullptr;
    UINTN Length = 0;
    EncodeBmp(&Image, &File, &Length);
    benchmark::DoNotOptimize(File);
    benchmark::ClobberMemory();
    FreePool(File);
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Pixels.size() * 4));
}

void Memcpy(benchmark::State &State, const void *Argument) {
  const size_t Bytes = *static_cast<const size_t *>(Argument);
  const std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Source = Frame(Bytes / 4);
  std::vector<UINT8> Destination(Bytes, 1);
  for (auto _ : State) {
    std::memcpy(Destination.data(), Source.data(), Bytes);
    benchmark::DoNotOptimize(Destination.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Bytes));
}

const char *KernelName(BMP_ROW_KERNEL Kernel) {
  return Kernel == BmpRowKernelSsse3 ? "ssse3" : Kernel == BmpRowKernelSse2 ? "sse2" : "portable";
}

const char *const kFrames[] = {"1920x1080", "3840x2160"};
const size_t kCopyBytes[] = {kCapturePixelBytes, 1920 * 1080 * 4, 3840 * 2160 * 4};
BmpRun gRuns[5];
BMP_ROW_KERNEL gInUse = BmpRowKernelSse2;  // the processor's choice, before any run selects one

}  // namespace

void RegisterBmpBenchmarks() {
  const BMP_ROW_KERNEL InUse = gInUse = BmpRowKernelInUse();
  gRuns[0] = {kCaptureWidth, kCaptureHeight, BmpRowKernelSse2};
  gRuns[1] = {kCaptureWidth, kCaptureHeight, BmpRowKernelSsse3};
  gRuns[2] = {kCaptureWidth, kCaptureHeight, BmpRowKernelPortable};
  gRuns[3] = {1920, 1080, InUse};
  gRuns[4] = {3840, 2160, InUse};
  AddBenchmark("Memcpy/800x600", Memcpy, &kCopyBytes[0]);
  for (const BmpRun *Run : {&gRuns[0], &gRuns[1], &gRuns[2]}) {
    AddBenchmark(std::string("EncodeBmp/800x600/") + KernelName(Run->Kernel), Encode, Run);
  }
  for (int Index = 0; Index < 2; Index++) {
    AddBenchmark(std::string("Memcpy/") + kFrames[Index], Memcpy, &kCopyBytes[Index + 1]);
    AddBenchmark(std::string("EncodeBmp/") + kFrames[Index] + "/" + KernelName(InUse), Encode, &gRuns[Index + 3]);
  }
}

bool ReportBmp(const Medians &Times) {
  auto Median = [&](const std::string &Name) {
    const auto Found = Times.find(Name);
    return Found == Times.end() ? 0.0 : Found->second;
  };
  auto Ratio = [&](const std::string &Encoder, const std::string &Copy) {
    const double E = Median(Encoder), M = Median(Copy);
    return E > 0 && M > 0 ? E / M : 0.0;
  };
  const BMP_ROW_KERNEL InUse = gInUse;
  for (const char *Name : {"sse2", "ssse3", "portable"}) {
    const double R = Ratio(std::string("EncodeBmp/800x600/") + Name, "Memcpy/800x600");
    if (R > 0) std::printf("%s kernel: %.2f x memcpy (800x600)\n", Name, R);
  }
  for (const char *Frame : kFrames) {
    const std::string Encoder = std::string("EncodeBmp/") + Frame + "/" + KernelName(InUse);
    if (Median(Encoder) > 0)
      std::printf("%s: %.0f us (%.2f x memcpy)\n", Frame, Median(Encoder),
                  Ratio(Encoder, std::string("Memcpy/") + Frame));
  }
  const double InUseRatio = Ratio(std::string("EncodeBmp/800x600/") + KernelName(InUse), "Memcpy/800x600");
  if (InUseRatio <= 0) {
    return false;
  }
  std::printf("kernel in use: %s\nratio: %.2f\n", KernelName(InUse), InUseRatio);
  return true;
}
