// `make bench`: the BMP encoder against memcpy, and the PNG encoder against
// libpng, in one run, as ratios of median CPU times (see each part).
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/Bench.h"

namespace {

EFI_STATUS EFIAPI MallocPool(EFI_MEMORY_TYPE, UINTN Size, VOID **Buffer) {
  *Buffer = std::malloc(Size);
  return *Buffer == nullptr ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS EFIAPI FreeMallocPool(VOID *Buffer) {
  std::free(Buffer);
  return EFI_SUCCESS;
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
        Times[R.run_name.function_name] = R.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(Runs);
  }
  Medians Times;
};

}  // namespace

void AddBenchmark(const std::string &Name, void (*Function)(benchmark::State &, const void *), const void *Argument) {
  benchmark::RegisterBenchmark(Name.c_str(), [Function, Argument](benchmark::State &S) { Function(S, Argument); })
      ->Repetitions(kRepetitions)
      ->Unit(benchmark::kMicrosecond);
}

void UseMallocPool(EFI_BOOT_SERVICES *BootServices) {
  BootServices->AllocatePool = MallocPool;
  BootServices->FreePool = FreeMallocPool;
}

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
  RegisterBmpBenchmarks();
  RegisterPngBenchmarks();
  // Plain text into a pipe: the reporter colours its lines unless told not to.
  MedianReporter Reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  benchmark::Shutdown();
  const bool Bmp = ReportBmp(Reporter.Times);
  const bool Png = ReportPng(Reporter.Times);
  if (!Bmp || !Png) {
    std::fprintf(stderr, "no medians: run the 800x600 BMP and the setup-like PNG benchmarks\n");
    return 1;
  }
  return 0;
}
