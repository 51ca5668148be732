// EncodeBmp against the floor it cannot beat: a plain memcpy of the same
// source bytes. Each row kernel on the command's 800x600, and the kernel this
// processor gets on the full-HD and 4K frames a resident capture sees. Prints
// each kernel's ratio of medians and, last, "ratio: X.XX" for the kernel in
// use. The encoder's time includes what every call does: allocating the file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

#include "image/BmpEncoder.h"
#include "platform/Library.h"
#include "tests/fake/FakeFirmware.h"

namespace {

constexpr int kRepetitions = 25;

std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Frame(size_t Pixels) {
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Made(Pixels);
  for (size_t Index = 0; Index < Made.size(); Index++) {
    Made[Index] = {static_cast<UINT8>(Index), static_cast<UINT8>(Index >> 8), static_cast<UINT8>(Index >> 16), 0};
  }
  return Made;
}

// The fake's pool fills every block with a pattern, to catch code that relies
// on memory it did not set; firmware pools do not, so that pass would be
// timed for nothing. Here the pool is malloc and free alone.
EFI_STATUS EFIAPI MallocPool(EFI_MEMORY_TYPE, UINTN Size, VOID **Buffer) {
  *Buffer = std::malloc(Size);
  return *Buffer == nullptr ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS EFIAPI FreeMallocPool(VOID *Buffer) {
  std::free(Buffer);
  return EFI_SUCCESS;
}

void Encode(benchmark::State &State, UINTN Width, UINTN Height, BMP_ROW_KERNEL Kernel) {
  if (!SelectBmpRowKernel(Kernel)) {
    State.SkipWithError("this processor lacks the kernel");
    return;
  }
  fake::FakeFirmware Firmware;
  Firmware.Bs.AllocatePool = MallocPool;
  Firmware.Bs.FreePool = FreeMallocPool;
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Pixels = Frame(Width * Height);
  CaptureImage Image{Width, Height, 0, Pixels.data()};
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

void Memcpy(benchmark::State &State, size_t Bytes) {
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

void Register(BMP_ROW_KERNEL InUse) {
  auto Add = [](const std::string &Name, auto Function) {
    benchmark::RegisterBenchmark(Name.c_str(), Function)->Repetitions(kRepetitions)->Unit(benchmark::kMicrosecond);
  };
  Add("Memcpy/800x600", [](benchmark::State &S) { Memcpy(S, kCapturePixelBytes); });
  for (BMP_ROW_KERNEL Kernel : {BmpRowKernelSse2, BmpRowKernelSsse3, BmpRowKernelPortable}) {
    Add(std::string("EncodeBmp/800x600/") + KernelName(Kernel),
        [Kernel](benchmark::State &S) { Encode(S, kCaptureWidth, kCaptureHeight, Kernel); });
  }
  for (const auto &Size : {std::pair<UINTN, UINTN>{1920, 1080}, {3840, 2160}}) {
    const std::string Frame = std::to_string(Size.first) + "x" + std::to_string(Size.second);
    Add("Memcpy/" + Frame, [Size](benchmark::State &S) { Memcpy(S, Size.first * Size.second * 4); });
    Add("EncodeBmp/" + Frame + "/" + KernelName(InUse),
        [Size, InUse](benchmark::State &S) { Encode(S, Size.first, Size.second, InUse); });
  }
}

// The console report as usual, plus each benchmark's median CPU time kept
// aside. CPU time, not wall time: the machines that run this are shared, and
// time spent descheduled is nobody's cost.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  explicit MedianReporter(OutputOptions Options) : ConsoleReporter(Options) {}
  void ReportRuns(const std::vector<Run> &Runs) override {
    for (const Run &R : Runs) {
      if (R.run_type == Run::RT_Aggregate && R.aggregate_name == "median" && !R.error_occurred) {
        Medians[R.run_name.function_name] = R.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, double> Medians;
};

}  // namespace

int main(int Argc, char **Argv) {
  // A firmware pool hands out memory that is already mapped; glibc would map
  // a fresh block (and fault in every page) on each call.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  // Repetitions interleave at random, so that load from elsewhere on the
  // machine falls on all alike. Flags given on the command line win.
  std::vector<char *> Arguments(Argv, Argv + Argc);
  char Interleave[] = "--benchmark_enable_random_interleaving=true";
  Arguments.insert(Arguments.begin() + 1, Interleave);
  int Count = static_cast<int>(Arguments.size());
  benchmark::Initialize(&Count, Arguments.data());
  const BMP_ROW_KERNEL InUse = BmpRowKernelInUse();
  Register(InUse);
  // Plain text into a pipe: the reporter colours its lines unless told not to.
  MedianReporter Reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();

  auto Ratio = [&](const std::string &Encoder, const std::string &Copy) {
    const double E = Reporter.Medians[Encoder], M = Reporter.Medians[Copy];
    return E > 0 && M > 0 ? E / M : 0.0;
  };
  for (const char *Name : {"sse2", "ssse3", "portable"}) {
    const double R = Ratio(std::string("EncodeBmp/800x600/") + Name, "Memcpy/800x600");
    if (R > 0) std::printf("%s kernel: %.2f x memcpy (800x600)\n", Name, R);
  }
  for (const char *Frame : {"1920x1080", "3840x2160"}) {
    const std::string Encoder = std::string("EncodeBmp/") + Frame + "/" + KernelName(InUse);
    if (Reporter.Medians[Encoder] > 0)
      std::printf("%s: %.0f us (%.2f x memcpy)\n", Frame, Reporter.Medians[Encoder],
                  Ratio(Encoder, std::string("Memcpy/") + Frame));
  }
  const double InUseRatio = Ratio(std::string("EncodeBmp/800x600/") + KernelName(InUse), "Memcpy/800x600");
  if (InUseRatio <= 0) {
    std::fprintf(stderr, "no medians: run the 800x600 benchmarks\n");
    return 1;
  }
  std::printf("kernel in use: %s\nratio: %.2f\n", KernelName(InUse), InUseRatio);
  return 0;
}
