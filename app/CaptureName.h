// The capture's file name, from the CMOS clock, and its path on the volume,
// from the shell's current directory.
#pragma once

#include "platform/PoolBuffer.h"

// The name buffer's size in bytes: 49 characters and the NUL.
constexpr UINTN kCaptureFileNameBytes = 100;

// "Vistrel_YYMMDD_hhmmss.bmp" from the clock's year, month, day, hours,
// minutes and seconds registers, each raw byte as two hexadecimal digits: a
// BCD clock gives the decimal date and time, a binary one the hexadecimal
// form of its values, a 12-hour one its hours with the PM bit (0x81 is "81").
// A machine without the CMOS clock gets BuildCaptureFileNameFromFirmwareClock.
VOID BuildCaptureFileName(CHAR16 *FileName, UINTN FileNameBytes);

// The same name from the firmware's GetTime, as the driver names its files:
// two decimal digits each, the year modulo 100; the driver's fallback stem
// (Vistrel_000000_000000) when there is no usable time.
VOID BuildCaptureFileNameFromFirmwareClock(CHAR16 *FileName, UINTN FileNameBytes);

// The file's path from the volume's root: the directory part of the shell's
// current directory (the mapping name dropped), then the file name.
//   "fs0:\" or "FS0:"   -> "\"              (a volume's root)
//   "fs0:\A\B"          -> "\A\B\"
//   "fs0:\A\"           -> "\A\\"           (kept as the shell gave it)
//   null, no colon, no backslash after the colon -> "\"
class CapturePath {
 public:
  // Copies the directory part into storage sized for it and a file name of
  // FileNameLength characters. EFI_OUT_OF_RESOURCES, after printing
  // "Error Allocate %d Bytes", when the pool has no room.
  EFI_STATUS Build(const CHAR16 *CurrentDir, UINTN FileNameLength);

  // Appends the name; a name longer than Build was told is not appended.
  VOID AppendFileName(const CHAR16 *FileName);

  // The path so far; empty when Build failed.
  const CHAR16 *Text() const;

 private:
  PoolBuffer<CHAR16> mStorage;
  UINTN mCapacity = 0;  // characters, the NUL included
};
