// HII configuration strings, as the routing protocol's ExtractConfig takes
// and gives them. A response comes from the page's driver, possibly a third
// party's: it is read to a bound, every number and length checked, and a
// response that breaks any rule is refused whole rather than half trusted.
#pragma once

#include "platform/PoolBuffer.h"

// The longest response read, in characters; a longer one is malformed.
constexpr UINTN kLargestConfigResponse = UINTN{1024} * 1024;

// A request, built as UCS-2 with its NUL kept at the end. A failed
// allocation is remembered: Text() is then null.
class ConfigRequest {
 public:
  // "GUID=<guid>&NAME=<name>&PATH=<path>": the GUID's 16 bytes and the
  // device path's bytes (its end node included) two hex digits each, in
  // memory order; each character of Name as four hex digits. All lower case.
  // A null Name leaves NAME empty, as for a store of named values.
  VOID Header(const EFI_GUID &Guid, const CHAR16 *Name, const UINT8 *DevicePath, UINTN DevicePathSize);
  // "&OFFSET=<hex>&WIDTH=<hex>": a range of a buffer store.
  VOID Block(UINTN Offset, UINTN Width);
  // "&<Name>": a value of a store of named values.
  VOID Element(const CHAR16 *Name);
  const CHAR16 *Text() const { return mFailed || mText.Count() == 0 ? nullptr : mText.Get(); }
  // The characters before the NUL.
  UINTN Length() const { return mText.Count() == 0 ? 0 : mText.Count() - 1; }

 private:
  VOID Put(CHAR16 Character);
  VOID Ascii(const char *Text);
  VOID Hex(UINT64 Value, UINTN Digits);
  PoolVector<CHAR16> mText;
  BOOLEAN mFailed = FALSE;
};

// Response's first block as the bytes of a buffer store of Size bytes: for
// each "&OFFSET=..&WIDTH=..&VALUE=.." pair of its first header's block, the
// value's bytes (written last byte first) into Buffer at Offset, and
// Covered[Offset .. Offset + Width - 1] set to 1. Response must begin with
// Header (the request's, compared without regard to case); the block ends at
// the next "&GUID=" (the ALTCFG blocks of defaults that may follow) or the
// NUL. Returns EFI_SUCCESS, or EFI_PROTOCOL_ERROR with Buffer and Covered
// untouched when the response breaks a rule: another header, no NUL within
// kLargestConfigResponse characters, a number that is no hex or too long, a
// VALUE of other than 2 * WIDTH digits, a range past Size.
EFI_STATUS ParseBlockResponse(const CHAR16 *Response, const CHAR16 *Header, UINT8 *Buffer, UINT8 *Covered,
                              UINTN Size);

// The value of Name in Response's first block ("&<Name>=<hex>", written last
// byte first, as a buffer's VALUE), into Value (room for Size bytes), *Width
// its bytes. Returns EFI_SUCCESS; EFI_NOT_FOUND when the block has no such
// name; EFI_PROTOCOL_ERROR as above, or for a value wider than Size or of an
// odd number of digits.
EFI_STATUS ParseNamedValue(const CHAR16 *Response, const CHAR16 *Header, const CHAR16 *Name, UINT8 *Value,
                           UINTN Size, UINTN *Width);
