// The capture's time from the firmware's clock, and the file name stem made
// from it; shared by every image that names captures from GetTime.
#pragma once

#include "platform/Efi.h"

// Characters of the stem with its NUL.
constexpr UINTN kCaptureStemLength = 24;

// The name when the clock gives no usable time; the writer's suffixes still
// keep every capture.
#define CAPTURE_STEM_WITHOUT_CLOCK "Vistrel_000000_000000"

// Whether Time is a date and time of day that a name or text can show: a
// year of four digits and each field within its calendar range.
BOOLEAN IsUsableCaptureTime(const EFI_TIME *Time);

// The runtime services' GetTime, which serialises with everyone else's use of
// the clock (reading its ports directly could break into another's
// index/data access). FALSE when it fails or gives an impossible date.
BOOLEAN ReadCaptureTime(EFI_TIME *Time);

// "Vistrel_YYMMDD_hhmmss" (each two decimal digits, the year modulo 100)
// from Time, or CAPTURE_STEM_WITHOUT_CLOCK when Time is null.
VOID BuildCaptureStem(const EFI_TIME *Time, CHAR16 *Stem);

// The same stamp after another Prefix ("Vistrel_forms_"), zeros without a
// time, into Name (NameBytes long; longer text is cut).
VOID BuildStampedName(const CHAR16 *Prefix, const EFI_TIME *Time, CHAR16 *Name, UINTN NameBytes);
