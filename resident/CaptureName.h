// The resident capture's file name, from the firmware's clock.
#pragma once

#include "platform/Efi.h"

// Characters of the stem with its NUL.
constexpr UINTN kCaptureStemLength = 24;

// The name when the clock gives no usable time; the writer's suffixes still
// keep every capture.
#define CAPTURE_STEM_WITHOUT_CLOCK "Vistrel_000000_000000"

// "Vistrel_YYMMDD_hhmmss" (each two decimal digits) from the runtime
// services' GetTime, which serialises with everyone else's use of the clock
// (reading its ports directly could break into another's index/data access).
// A failed GetTime or an impossible date gives CAPTURE_STEM_WITHOUT_CLOCK.
VOID BuildCaptureStem(CHAR16 *Stem);
