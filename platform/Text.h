// Text the images build for files and the console: a byte builder for UTF-8
// and Latin-1, the names of EFI statuses, and GUIDs as text both ways.
#pragma once

#include "platform/PoolBuffer.h"

// Bytes of text, growing in one pool block, or in a fixed buffer of the
// caller's where what does not fit is left out. A failed allocation is
// remembered and the text stops growing.
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(UINT8 *Fixed, UINTN Capacity) : mFixed(Fixed), mCapacity(Capacity) {}
  TextBuffer(const TextBuffer &) = delete;
  TextBuffer &operator=(const TextBuffer &) = delete;

  VOID Put(UINT32 Value);  // one byte
  VOID Ascii(const char *Text);
  // Untrusted UCS-2 as UTF-8: control characters become spaces, a lone
  // surrogate U+FFFD, and with Html every markup character is escaped.
  VOID Text(const CHAR16 *Text, BOOLEAN Html);
  // The same as a quoted JSON string: quotes and backslashes escaped.
  VOID Json(const CHAR16 *Text);
  VOID Decimal(UINT64 Value, UINTN MinimumDigits = 1);
  VOID Hex32(UINT32 Value);  // eight upper-case digits
  VOID Guid(const EFI_GUID &Guid);
  // The firmware's: "revision 0x00010000" Separator "UEFI 2.7" (2.31 reads
  // "2.3.1").
  VOID Revisions(UINT32 Revision, UINT32 UefiRevision, const char *Separator);
  // "2024-01-15" Between "10:30:45".
  VOID Time(const EFI_TIME &Time, char Between);
  VOID Clear();
  const UINT8 *Data() const { return mFixed != nullptr ? mFixed : reinterpret_cast<const UINT8 *>(mBytes.Get()); }
  UINTN Size() const { return mFixed != nullptr ? mLength : mBytes.Count(); }
  BOOLEAN Failed() const { return mFailed; }

 private:
  enum class ESCAPE { None, Html, Json };
  VOID Escaped(const CHAR16 *Text, ESCAPE Escape);
  PoolVector<CHAR8> mBytes;
  UINT8 *mFixed = nullptr;
  UINTN mCapacity = 0;
  UINTN mLength = 0;
  BOOLEAN mFailed = FALSE;
};

// "EFI_NOT_FOUND" for the statuses the images meet, null for others.
// StatusText's longest is "status 0x" and 16 digits.
constexpr UINTN kStatusTextLength = 32;
const char *StatusName(EFI_STATUS Status);
// The name, else "status 0x..." in hex, into Text (TextLength characters).
VOID StatusText(EFI_STATUS Status, CHAR16 *Text, UINTN TextLength);

// "8-4-4-4-12" hexadecimal digits.
constexpr UINTN kGuidTextLength = 36;
// Upper-case, as the firmware's tools print GUIDs; Text holds
// kGuidTextLength + 1 characters.
VOID FormatGuid(const EFI_GUID &Guid, CHAR16 *Text);
// A GUID a person typed: kGuidTextLength characters of either case, braces
// allowed around them. FALSE for anything else.
BOOLEAN ParseGuid(const char *Text, EFI_GUID *Guid);

// Decimal digits alone, not too large for UINTN; FALSE for anything else.
BOOLEAN ParseDecimal(const char *Text, UINTN *Number);

// Field by field: where the compiler would call memcmp, some targets' library has none.
inline BOOLEAN SameGuid(const EFI_GUID &A, const EFI_GUID &B) {
  BOOLEAN Same = A.Data1 == B.Data1 && A.Data2 == B.Data2 && A.Data3 == B.Data3;
  for (UINTN At = 0; At < sizeof(A.Data4) && Same; At++) {
    Same = A.Data4[At] == B.Data4[At];
  }
  return Same;
}
