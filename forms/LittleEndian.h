// Numbers and GUIDs as the firmware's records hold them: little-endian, at
// any alignment. The caller has checked that the bytes are there.
#pragma once

#include "platform/Library.h"

inline UINT16 Read16(const UINT8 *At) { return static_cast<UINT16>(At[0] | (At[1] << 8)); }

inline UINT32 Read32(const UINT8 *At) {
  return At[0] | (At[1] << 8) | (At[2] << 16) | (static_cast<UINT32>(At[3]) << 24);
}

// Bytes (at most 8) as one number.
inline UINT64 ReadLittle(const UINT8 *At, UINTN Bytes) {
  UINT64 Value = 0;
  for (UINTN Byte = Bytes; Byte > 0; Byte--) {
    Value = Value << 8 | At[Byte - 1];
  }
  return Value;
}

inline EFI_GUID ReadGuid(const UINT8 *At) {
  EFI_GUID Guid;
  CopyMem(&Guid, At, sizeof(Guid));
  return Guid;
}
