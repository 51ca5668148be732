// Formatted UCS-2 text with EDK II's conversions, as the command's console
// lines and file names need them:
//   %S or %s  a CHAR16 string (a null pointer shows as "<null string>")
//   %a        an ASCII string
//   %c        one CHAR16
//   %d %u     a signed or unsigned 32-bit integer in decimal
//   %X %x     a 32-bit integer in upper- or lower-case hexadecimal
//   %%        a percent sign
// An 'l' or 'L' before d, u, X or x takes a 64-bit argument. A width with an
// optional '0' flag pads on the left ("%02X" of 0x5 is "05"). A "\n" in the
// format comes out as CR LF; text from arguments is copied unchanged.
#pragma once

#include "platform/Efi.h"

// Writes the text to the console (gST->ConOut->OutputString) in pieces, so
// text of any length comes out whole. Returns the number of characters. The
// console's statuses are not consulted.
UINTN Print(const CHAR16 *Format, ...);

// Formats into Buffer, BufferSize bytes long: at most BufferSize / 2 - 1
// characters and a NUL; longer text is cut. Returns the characters written,
// not counting the NUL.
UINTN UnicodeSPrint(CHAR16 *Buffer, UINTN BufferSize, const CHAR16 *Format, ...);
