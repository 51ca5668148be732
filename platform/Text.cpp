#include "platform/Text.h"

#include "platform/Library.h"
#include "platform/Print.h"

namespace {

constexpr UINT32 kReplacementCharacter = 0xFFFD;

struct STATUS_NAME {
  EFI_STATUS Status;
  const char *Name;
};

const STATUS_NAME kStatusNames[] = {
    {EFI_SUCCESS, "EFI_SUCCESS"},
    {EFI_LOAD_ERROR, "EFI_LOAD_ERROR"},
    {EFI_INVALID_PARAMETER, "EFI_INVALID_PARAMETER"},
    {EFI_UNSUPPORTED, "EFI_UNSUPPORTED"},
    {EFI_NOT_READY, "EFI_NOT_READY"},
    {EFI_DEVICE_ERROR, "EFI_DEVICE_ERROR"},
    {EFI_WRITE_PROTECTED, "EFI_WRITE_PROTECTED"},
    {EFI_OUT_OF_RESOURCES, "EFI_OUT_OF_RESOURCES"},
    {EFI_VOLUME_FULL, "EFI_VOLUME_FULL"},
    {EFI_NOT_FOUND, "EFI_NOT_FOUND"},
    {EFI_ACCESS_DENIED, "EFI_ACCESS_DENIED"},
    {EFI_ABORTED, "EFI_ABORTED"},
    {EFI_SECURITY_VIOLATION, "EFI_SECURITY_VIOLATION"},
};

INT32 HexDigit(char Character) {
  if (Character >= '0' && Character <= '9') {
    return Character - '0';
  }
  if (Character >= 'a' && Character <= 'f') {
    return Character - 'a' + 10;
  }
  if (Character >= 'A' && Character <= 'F') {
    return Character - 'A' + 10;
  }
  return -1;
}

}  // namespace

VOID TextBuffer::Put(UINT32 Value) {
  if (mFixed != nullptr) {
    if (mLength < mCapacity) {
      mFixed[mLength++] = static_cast<UINT8>(Value);
    }
    return;
  }
  CHAR8 *Added = mFailed ? nullptr : mBytes.Append();
  if (Added == nullptr) {
    mFailed = TRUE;
    return;
  }
  *Added = static_cast<CHAR8>(Value);
}

VOID TextBuffer::Clear() {
  mBytes.Truncate(0);
  mLength = 0;
}

VOID TextBuffer::Ascii(const char *Text) {
  for (; *Text != 0; Text++) {
    Put(static_cast<UINT8>(*Text));
  }
}

VOID TextBuffer::Text(const CHAR16 *Text, BOOLEAN Html) { Escaped(Text, Html ? ESCAPE::Html : ESCAPE::None); }

VOID TextBuffer::Json(const CHAR16 *Text) {
  Put('"');
  Escaped(Text, ESCAPE::Json);
  Put('"');
}

VOID TextBuffer::Escaped(const CHAR16 *Text, ESCAPE Escape) {
  for (; *Text != 0; Text++) {
    UINT32 Unit = *Text;
    if (Unit < 0x20 || Unit == 0x7F) {
      Unit = ' ';  // a title's line breaks, and worse
    } else if (Unit >= 0xD800 && Unit <= 0xDFFF) {
      Unit = kReplacementCharacter;  // UCS-2 has no surrogates; a lone one is no UTF-8
    }
    if (Escape == ESCAPE::Html && (Unit == '&' || Unit == '<' || Unit == '>' || Unit == '"' || Unit == '\'')) {
      Ascii(Unit == '&' ? "&amp;" : Unit == '<' ? "&lt;" : Unit == '>' ? "&gt;" : Unit == '"' ? "&quot;" : "&#39;");
    } else if (Escape == ESCAPE::Json && (Unit == '"' || Unit == '\\')) {
      Put('\\');
      Put(Unit);
    } else if (Unit < 0x80) {
      Put(Unit);
    } else if (Unit < 0x800) {
      Put(0xC0 | (Unit >> 6));
      Put(0x80 | (Unit & 0x3F));
    } else {
      Put(0xE0 | (Unit >> 12));
      Put(0x80 | ((Unit >> 6) & 0x3F));
      Put(0x80 | (Unit & 0x3F));
    }
  }
}

VOID TextBuffer::Decimal(UINT64 Value, UINTN MinimumDigits) {
  char Digits[kDecimalDigitsMax];
  const UINTN Count = FormatDecimal(Value, MinimumDigits, Digits);
  for (UINTN Index = 0; Index < Count; Index++) {
    Put(static_cast<UINT8>(Digits[Index]));
  }
}

VOID TextBuffer::Hex32(UINT32 Value) {
  for (int Shift = 28; Shift >= 0; Shift -= 4) {
    Put(static_cast<UINT8>("0123456789ABCDEF"[(Value >> Shift) & 0xF]));
  }
}

VOID TextBuffer::Guid(const EFI_GUID &Guid) {
  CHAR16 Formatted[kGuidTextLength + 1];
  FormatGuid(Guid, Formatted);
  Text(Formatted, FALSE);
}

VOID TextBuffer::Revisions(UINT32 Revision, UINT32 UefiRevision, const char *Separator) {
  const UINT32 Minor = UefiRevision & 0xFFFF;
  Ascii("revision 0x");
  Hex32(Revision);
  Ascii(Separator);
  Ascii("UEFI ");
  Decimal(UefiRevision >> 16);
  Put('.');
  Decimal(Minor / 10);
  if (Minor % 10 != 0) {
    Put('.');
    Decimal(Minor % 10);
  }
}

VOID TextBuffer::Time(const EFI_TIME &Time, char Between) {
  Decimal(Time.Year, 4);
  Put('-');
  Decimal(Time.Month, 2);
  Put('-');
  Decimal(Time.Day, 2);
  Put(static_cast<UINT8>(Between));
  Decimal(Time.Hour, 2);
  Put(':');
  Decimal(Time.Minute, 2);
  Put(':');
  Decimal(Time.Second, 2);
}

const char *StatusName(EFI_STATUS Status) {
  for (const STATUS_NAME &Known : kStatusNames) {
    // cppcheck-suppress useStlAlgorithm ; the target has no <algorithm>
    if (Known.Status == Status) {
      return Known.Name;
    }
  }
  return nullptr;
}

VOID StatusText(EFI_STATUS Status, CHAR16 *Text, UINTN TextLength) {
  const char *Name = StatusName(Status);
  if (Name != nullptr) {
    UnicodeSPrint(Text, TextLength * sizeof(CHAR16), STR16("%a"), Name);
  } else {
    UnicodeSPrint(Text, TextLength * sizeof(CHAR16), STR16("status 0x%lX"), static_cast<UINT64>(Status));
  }
}

VOID FormatGuid(const EFI_GUID &Guid, CHAR16 *Text) {
  UnicodeSPrint(Text, (kGuidTextLength + 1) * sizeof(CHAR16), STR16("%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"),
                Guid.Data1, UINT32{Guid.Data2}, UINT32{Guid.Data3}, UINT32{Guid.Data4[0]}, UINT32{Guid.Data4[1]},
                UINT32{Guid.Data4[2]}, UINT32{Guid.Data4[3]}, UINT32{Guid.Data4[4]}, UINT32{Guid.Data4[5]},
                UINT32{Guid.Data4[6]}, UINT32{Guid.Data4[7]});
}

BOOLEAN ParseDecimal(const char *Text, UINTN *Number) {
  *Number = 0;
  if (*Text == 0) {
    return FALSE;
  }
  for (; *Text != 0; Text++) {
    if (*Text < '0' || *Text > '9' || *Number > (~static_cast<UINTN>(0) - 9) / 10) {
      return FALSE;
    }
    *Number = *Number * 10 + static_cast<UINTN>(*Text - '0');
  }
  return TRUE;
}

BOOLEAN ParseGuid(const char *Text, EFI_GUID *Guid) {
  UINTN Length = 0;
  while (Length <= kGuidTextLength + 2 && Text[Length] != 0) {
    Length++;
  }
  if (Length == kGuidTextLength + 2 && Text[0] == '{' && Text[Length - 1] == '}') {
    Text++;
    Length -= 2;
  }
  if (Length != kGuidTextLength) {
    return FALSE;
  }
  UINT8 Bytes[sizeof(EFI_GUID)];
  UINTN Count = 0;
  for (UINTN At = 0; At < kGuidTextLength; At += 2) {
    if (At == 8 || At == 13 || At == 18 || At == 23) {
      if (Text[At] != '-') {
        return FALSE;
      }
      At++;
    }
    const INT32 High = HexDigit(Text[At]);
    const INT32 Low = HexDigit(Text[At + 1]);
    if (High < 0 || Low < 0) {
      return FALSE;
    }
    Bytes[Count++] = static_cast<UINT8>(High * 16 + Low);
  }
  // The text's first three groups are numbers, stored little-endian.
  Guid->Data1 = (static_cast<UINT32>(Bytes[0]) << 24) | (Bytes[1] << 16) | (Bytes[2] << 8) | Bytes[3];
  Guid->Data2 = static_cast<UINT16>((Bytes[4] << 8) | Bytes[5]);
  Guid->Data3 = static_cast<UINT16>((Bytes[6] << 8) | Bytes[7]);
  for (UINTN Index = 0; Index < 8; Index++) {
    Guid->Data4[Index] = Bytes[8 + Index];
  }
  return TRUE;
}
