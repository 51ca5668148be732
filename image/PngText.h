// What a capture's PNG says of where it came from, for the bug report it
// ends up in: PNG's standard tEXt chunks "Software", "Source" and "Creation
// Time" and, when the clock names its time zone, tIME. No firmware calls:
// the caller hands over what the tables and the clock said.
#pragma once

#include "platform/Efi.h"

struct PNG_ORIGIN {
  // The system table's FirmwareVendor: outside input, read up to
  // kPngVendorCharacters or its NUL, whichever comes first; null is allowed.
  const CHAR16 *FirmwareVendor;
  UINT32 FirmwareRevision;
  UINT32 UefiRevision;   // the system table header's: major << 16 | minor
  const EFI_TIME *Time;  // the capture's time, null when the clock gave none
};

constexpr UINTN kPngVendorCharacters = 64;
// Room for every chunk WritePngTextChunks can write.
constexpr UINTN kPngTextBytes = 288;

// Writes the chunks, each with its length, type and CRC-32, to Destination
// (kPngTextBytes long) and returns their length. Text is Latin-1: what is not
// printable there becomes '?'. A time outside the calendar is left out, and
// the time-zone offset and tIME are written only for a TimeZone in range.
UINTN WritePngTextChunks(const PNG_ORIGIN *Origin, UINT8 *Destination);

// Appends one chunk (length, type, data, CRC-32) at Destination and returns
// its length: 12 bytes more than the data.
UINTN WritePngChunk(const char Type[4], const UINT8 *Data, UINTN DataSize, UINT8 *Destination);

// PNG's byte order for its 4-byte fields.
VOID PutBigEndian32(UINT8 *At, UINT32 Value);

// Frames a chunk whose DataSize bytes of data are already at Chunk + 8: its
// length and type before them, its CRC-32 after.
VOID FramePngChunk(const char Type[4], UINTN DataSize, UINT8 *Chunk);
