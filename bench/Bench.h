// The benchmark's parts: each encoder registers its runs and, from the median
// CPU times, prints its figures.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "platform/Efi.h"

constexpr int kRepetitions = 25;

// Median CPU time, in microseconds, by benchmark name.
using Medians = std::map<std::string, double>;

// A benchmark of 25 repetitions, reported in microseconds.
void AddBenchmark(const std::string &Name, void (*Function)(benchmark::State &, const void *), const void *Argument);

// The pool a firmware has: memory that is mapped already and not filled with
// a pattern, as the fake's is to catch reads of memory nobody set.
void UseMallocPool(EFI_BOOT_SERVICES *BootServices);

void RegisterBmpBenchmarks();
// Prints the BMP kernels' figures and "ratio: X.XX"; FALSE without medians.
bool ReportBmp(const Medians &Times);

void RegisterPngBenchmarks();
// Prints each frame's times and sizes, "png-time-ratio: X.XX" and
// "png-size-ratio: X.XX"; FALSE without medians.
bool ReportPng(const Medians &Times);
