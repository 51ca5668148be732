// The configuration-response parsers from any string, as a page's driver
// may answer ExtractConfig: no read past the NUL, a response refused leaves
// the buffer and its coverage as they were, what is taken stays within the
// store, and a named value within its room.
#include <cstring>
#include <vector>

#include "forms/ConfigString.h"
#include "fuzz/FuzzSupport.h"  // Require, Firmware

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  Firmware();
  // The input as UCS-2, ended where it ends, in a buffer no longer than it.
  std::vector<CHAR16> Response(Size / 2 + 1, 0);
  std::memcpy(Response.data(), Data, Size / 2 * 2);
  const CHAR16 *kHeader = STR16("GUID=00&NAME=0041&PATH=7fff0400");
  constexpr UINTN kStore = 24;
  UINT8 Buffer[kStore], Covered[kStore];
  std::memset(Buffer, 0xA5, sizeof(Buffer));
  std::memset(Covered, 0, sizeof(Covered));
  if (ParseBlockResponse(Response.data(), kHeader, Buffer, Covered, kStore) != EFI_SUCCESS) {
    for (UINTN At = 0; At < kStore; At++) Require(Buffer[At] == 0xA5 && Covered[At] == 0);
  }
  for (UINTN At = 0; At < kStore; At++) Require(Covered[At] <= 1 && (Covered[At] == 1 || Buffer[At] == 0xA5));
  UINT8 Value[8];
  UINTN Width = 0;
  if (ParseNamedValue(Response.data(), kHeader, STR16("Speed"), Value, sizeof(Value), &Width) == EFI_SUCCESS) {
    Require(Width >= 1 && Width <= sizeof(Value));
  }
  return 0;
}
