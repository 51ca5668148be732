// The small run-time library the command uses: pool memory and UCS-2 strings,
// with the behaviour of the EDK II routines of the same names.
#pragma once

#include "platform/Efi.h"

// Every frame's first step: gImageHandle and the tables, once the system
// table holds what the image needs (boot services always, runtime services
// and a console output as asked). FALSE, with nothing recorded, otherwise.
BOOLEAN AdoptFirmwareTables(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, BOOLEAN NeedsRuntime,
                            BOOLEAN NeedsConsole);

// Boot-services data from the pool, filled with zeros; null when the pool is
// exhausted or Size is 0. The caller owns it (PoolBuffer frees it).
VOID *AllocateZeroPool(UINTN Size);

// Boot-services data from the pool, not cleared, for buffers whose every byte
// is written before it is read; null as AllocateZeroPool.
VOID *AllocatePool(UINTN Size);

// Gives a pool block back; null is ignored.
VOID FreePool(VOID *Buffer);

VOID SetMem(VOID *Buffer, UINTN Size, UINT8 Value);
// The regions must not overlap (the target library has memcpy, not memmove).
VOID CopyMem(VOID *Destination, const VOID *Source, UINTN Size);

// Characters before the terminating NUL.
UINTN StrLen(const CHAR16 *String);

// 0 when equal, otherwise the difference of the first differing characters.
INTN StrCmp(const CHAR16 *First, const CHAR16 *Second);

// The leftmost occurrence of SearchString in String, or null. An empty
// SearchString matches at the start.
const CHAR16 *StrStr(const CHAR16 *String, const CHAR16 *SearchString);

// Appends Source to the string in Destination, which holds DestinationMax
// characters in all. Returns FALSE and leaves Destination unchanged when the
// result and its NUL would not fit.
BOOLEAN StrCatS(CHAR16 *Destination, UINTN DestinationMax, const CHAR16 *Source);

// Value in decimal, at least MinimumDigits long (at most kDecimalDigitsMax)
// with leading zeros, into Digits (kDecimalDigitsMax long; no NUL). Returns
// the characters written.
constexpr UINTN kDecimalDigitsMax = 20;
UINTN FormatDecimal(UINT64 Value, UINTN MinimumDigits, char *Digits);

// Adds B to A; FALSE when the sum does not fit in UINTN.
inline BOOLEAN SafeAdd(UINTN A, UINTN B, UINTN *Sum) { return !__builtin_add_overflow(A, B, Sum); }

// Multiplies A by B; FALSE when the product does not fit in UINTN.
inline BOOLEAN SafeMultiply(UINTN A, UINTN B, UINTN *Product) {
  return !__builtin_mul_overflow(A, B, Product);
}
