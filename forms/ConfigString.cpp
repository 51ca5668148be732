#include "forms/ConfigString.h"

#include "platform/Library.h"

namespace {

// A number longer than this in digits is no offset or width of a store.
constexpr UINTN kLongestNumber = 16;

CHAR16 Lower(CHAR16 Character) {
  return Character >= 'A' && Character <= 'Z' ? static_cast<CHAR16>(Character - 'A' + 'a') : Character;
}

// A hexadecimal digit's value, or 16 for anything else.
UINTN Digit(CHAR16 Character) {
  const CHAR16 Low = Lower(Character);
  return Low >= '0' && Low <= '9' ? Low - '0' : Low >= 'a' && Low <= 'f' ? Low - 'a' + 10 : 16;
}

// Whether Text at At begins with Ascii.
BOOLEAN StartsWith(const CHAR16 *Text, UINTN At, const char *Ascii) {
  for (; *Ascii != 0; Ascii++, At++) {
    if (Text[At] != static_cast<CHAR16>(*Ascii)) {
      return FALSE;
    }
  }
  return TRUE;
}

// The response's first block: [*Start, *End) after Header, ending at the
// next "&GUID=" or the NUL. FALSE when the header does not match or no NUL
// comes within the bound.
BOOLEAN FirstBlock(const CHAR16 *Response, const CHAR16 *Header, UINTN *Start, UINTN *End) {
  UINTN Length = 0;
  while (Length < kLargestConfigResponse && Response[Length] != 0) {
    Length++;
  }
  if (Length == kLargestConfigResponse) {
    return FALSE;
  }
  UINTN At = 0;
  for (; Header[At] != 0; At++) {
    if (At >= Length || Lower(Response[At]) != Lower(Header[At])) {
      return FALSE;
    }
  }
  *Start = At;
  for (*End = At; *End < Length && !StartsWith(Response, *End, "&GUID="); (*End)++) {
  }
  return TRUE;
}

// A hex number of at most kLongestNumber digits at *At, up to '&' or End.
BOOLEAN ReadNumber(const CHAR16 *Text, UINTN *At, UINTN End, UINT64 *Number) {
  *Number = 0;
  UINTN Digits = 0;
  for (; *At < End && Text[*At] != '&'; (*At)++, Digits++) {
    const UINTN Value = Digit(Text[*At]);
    if (Value == 16 || Digits == kLongestNumber) {
      return FALSE;
    }
    *Number = *Number << 4 | Value;
  }
  return Digits != 0;
}

// Digits hex digits at Text as bytes written last first, into Bytes.
VOID ReadValue(const CHAR16 *Text, UINTN Digits, UINT8 *Bytes) {
  const UINTN Width = Digits / 2;
  for (UINTN Byte = 0; Byte < Width; Byte++) {
    const CHAR16 *Pair = Text + 2 * (Width - 1 - Byte);
    Bytes[Byte] = static_cast<UINT8>(Digit(Pair[0]) << 4 | Digit(Pair[1]));
  }
}

// The hex digits at At up to '&' or End: their count, or 0 when any is no digit.
UINTN CountDigits(const CHAR16 *Text, UINTN At, UINTN End) {
  UINTN Digits = 0;
  for (; At + Digits < End && Text[At + Digits] != '&'; Digits++) {
    if (Digit(Text[At + Digits]) == 16) {
      return 0;
    }
  }
  return Digits;
}

// Each "&OFFSET=..&WIDTH=..&VALUE=.." of [Start, End) checked, and with
// Apply, copied.
BOOLEAN WalkBlocks(const CHAR16 *Text, UINTN Start, UINTN End, UINT8 *Buffer, UINT8 *Covered, UINTN Size,
                   BOOLEAN Apply) {
  for (UINTN At = Start; At < End;) {
    UINT64 Offset = 0, Width = 0;
    if (!StartsWith(Text, At, "&OFFSET=")) {
      return FALSE;
    }
    At += 8;
    if (!ReadNumber(Text, &At, End, &Offset) || !StartsWith(Text, At, "&WIDTH=")) {
      return FALSE;
    }
    At += 7;
    if (!ReadNumber(Text, &At, End, &Width) || !StartsWith(Text, At, "&VALUE=")) {
      return FALSE;
    }
    At += 7;
    const UINTN Digits = CountDigits(Text, At, End);
    if (Width == 0 || Width > Size || Offset > Size - Width || Digits != 2 * Width) {
      return FALSE;
    }
    if (Apply) {
      ReadValue(Text + At, Digits, Buffer + static_cast<UINTN>(Offset));
      SetMem(Covered + static_cast<UINTN>(Offset), static_cast<UINTN>(Width), 1);
    }
    At += Digits;
  }
  return TRUE;
}

}  // namespace

VOID ConfigRequest::Put(CHAR16 Character) {
  // The NUL is kept last: each character goes before it.
  if (mText.Count() == 0) {
    CHAR16 *End = mText.Append();
    if (End == nullptr) {
      mFailed = TRUE;
      return;
    }
    *End = 0;
  }
  CHAR16 *Added = mText.Append();
  if (Added == nullptr) {
    mFailed = TRUE;
    return;
  }
  Added[-1] = Character;
  *Added = 0;
}

VOID ConfigRequest::Ascii(const char *Text) {
  for (; *Text != 0; Text++) {
    Put(static_cast<CHAR16>(*Text));
  }
}

VOID ConfigRequest::Hex(UINT64 Value, UINTN Digits) {
  for (UINTN Shift = Digits; Shift > 0; Shift--) {
    Put(static_cast<CHAR16>("0123456789abcdef"[(Value >> (4 * (Shift - 1))) & 0xF]));
  }
}

VOID ConfigRequest::Header(const EFI_GUID &Guid, const CHAR16 *Name, const UINT8 *DevicePath, UINTN DevicePathSize) {
  Ascii("GUID=");
  const auto *GuidBytes = reinterpret_cast<const UINT8 *>(&Guid);
  for (UINTN Byte = 0; Byte < sizeof(EFI_GUID); Byte++) {
    Hex(GuidBytes[Byte], 2);
  }
  Ascii("&NAME=");
  for (; Name != nullptr && *Name != 0; Name++) {
    Hex(*Name, 4);
  }
  Ascii("&PATH=");
  for (UINTN Byte = 0; Byte < DevicePathSize; Byte++) {
    Hex(DevicePath[Byte], 2);
  }
}

VOID ConfigRequest::Block(UINTN Offset, UINTN Width) {
  Ascii("&OFFSET=");
  Hex(Offset, 4);
  Ascii("&WIDTH=");
  Hex(Width, 4);
}

VOID ConfigRequest::Element(const CHAR16 *Name) {
  Put('&');
  for (; *Name != 0; Name++) {
    Put(*Name);
  }
}

EFI_STATUS ParseBlockResponse(const CHAR16 *Response, const CHAR16 *Header, UINT8 *Buffer, UINT8 *Covered,
                              UINTN Size) {
  UINTN Start = 0, End = 0;
  // Checked whole first: a response that breaks a rule leaves nothing behind.
  if (!FirstBlock(Response, Header, &Start, &End) || !WalkBlocks(Response, Start, End, Buffer, Covered, Size, FALSE)) {
    return EFI_PROTOCOL_ERROR;
  }
  WalkBlocks(Response, Start, End, Buffer, Covered, Size, TRUE);
  return EFI_SUCCESS;
}

EFI_STATUS ParseNamedValue(const CHAR16 *Response, const CHAR16 *Header, const CHAR16 *Name, UINT8 *Value,
                           UINTN Size, UINTN *Width) {
  UINTN Start = 0, End = 0;
  if (!FirstBlock(Response, Header, &Start, &End)) {
    return EFI_PROTOCOL_ERROR;
  }
  for (UINTN At = Start; At < End; At++) {
    if (Response[At] != '&') {
      continue;
    }
    UINTN Matched = 0;
    while (Name[Matched] != 0 && At + 1 + Matched < End && Response[At + 1 + Matched] == Name[Matched]) {
      Matched++;
    }
    if (Name[Matched] != 0 || At + 1 + Matched >= End || Response[At + 1 + Matched] != '=') {
      continue;
    }
    const UINTN Digits = CountDigits(Response, At + 2 + Matched, End);
    const UINTN Next = At + 2 + Matched + Digits;
    if (Digits == 0 || Digits % 2 != 0 || Digits / 2 > Size || (Next < End && Response[Next] != '&')) {
      return EFI_PROTOCOL_ERROR;
    }
    ReadValue(Response + At + 2 + Matched, Digits, Value);
    *Width = Digits / 2;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}
