#include "platform/Library.h"

BOOLEAN AdoptFirmwareTables(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable, BOOLEAN NeedsRuntime,
                            BOOLEAN NeedsConsole) {
  // Every firmware must hand these over; one that does not gets no run
  // rather than a crash.
  if (SystemTable == nullptr || SystemTable->BootServices == nullptr ||
      (NeedsRuntime && SystemTable->RuntimeServices == nullptr) || (NeedsConsole && SystemTable->ConOut == nullptr)) {
    return FALSE;
  }
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;  // the clock, where there is no CMOS
  return TRUE;
}

VOID *AllocatePool(UINTN Size) {
  if (Size == 0) {
    return nullptr;
  }
  VOID *Buffer = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, Size, &Buffer))) {
    return nullptr;
  }
  return Buffer;
}

VOID *AllocateZeroPool(UINTN Size) {
  VOID *Buffer = AllocatePool(Size);
  if (Buffer != nullptr) {
    SetMem(Buffer, Size, 0);
  }
  return Buffer;
}

VOID FreePool(VOID *Buffer) {
  if (Buffer != nullptr) {
    gBS->FreePool(Buffer);
  }
}

VOID SetMem(VOID *Buffer, UINTN Size, UINT8 Value) {
  __builtin_memset(Buffer, Value, Size);
}

VOID CopyMem(VOID *Destination, const VOID *Source, UINTN Size) {
  if (Size != 0) {
    __builtin_memcpy(Destination, Source, Size);
  }
}

UINTN StrLen(const CHAR16 *String) {
  UINTN Length = 0;
  while (String[Length] != 0) {
    Length++;
  }
  return Length;
}

INTN StrCmp(const CHAR16 *First, const CHAR16 *Second) {
  while (*First != 0 && *First == *Second) {
    First++;
    Second++;
  }
  return static_cast<INTN>(*First) - static_cast<INTN>(*Second);
}

const CHAR16 *StrStr(const CHAR16 *String, const CHAR16 *SearchString) {
  for (; ; String++) {
    UINTN Index = 0;
    while (SearchString[Index] != 0 && String[Index] == SearchString[Index]) {
      Index++;
    }
    if (SearchString[Index] == 0) {
      return String;
    }
    if (*String == 0) {
      return nullptr;
    }
  }
}

BOOLEAN StrCatS(CHAR16 *Destination, UINTN DestinationMax, const CHAR16 *Source) {
  const UINTN Used = StrLen(Destination);
  const UINTN Added = StrLen(Source);
  if (Used >= DestinationMax || Added >= DestinationMax - Used) {
    return FALSE;
  }
  CopyMem(Destination + Used, Source, (Added + 1) * sizeof(CHAR16));
  return TRUE;
}

UINTN FormatDecimal(UINT64 Value, UINTN MinimumDigits, char *Digits) {
  char Reversed[kDecimalDigitsMax];
  UINTN Count = 0;
  do {
    Reversed[Count++] = static_cast<char>('0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  UINTN Written = 0;
  MinimumDigits = MinimumDigits < kDecimalDigitsMax ? MinimumDigits : kDecimalDigitsMax;
  for (; MinimumDigits > Count; MinimumDigits--) {
    Digits[Written++] = '0';
  }
  while (Count > 0) {
    Digits[Written++] = Reversed[--Count];
  }
  return Written;
}
