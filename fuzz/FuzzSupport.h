// What the fuzz targets share: a failed property aborts (libFuzzer keeps the
// input), and one fake firmware serves the whole run.
#pragma once

#include <cstdlib>

#include "tests/fake/FakeFirmware.h"

inline void Require(bool Condition) {
  if (!Condition) std::abort();
}

// Making a firmware per input costs more than the input itself; its call
// record is all that grows, so it is emptied each time.
inline fake::FakeFirmware &Firmware() {
  static fake::FakeFirmware *Fw = new fake::FakeFirmware();
  Fw->Calls.clear();
  return *Fw;
}
