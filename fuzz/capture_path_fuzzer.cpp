// The capture's path from any current directory the shell might report, of
// any length: the path starts at the volume's root, ends with the file name,
// and what lies between is a tail of the current directory, unchanged.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/CaptureName.h"
#include "fuzz/FuzzSupport.h"

// Byte 0: the file name's length (bits 0-5) and a null current directory
// (bit 7); the rest: the current directory, two bytes a character.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  if (Size == 0) return 0;
  fake::FakeFirmware &Fw = Firmware();
  std::vector<CHAR16> Name;
  for (size_t Index = 0; Index < (Data[0] & 0x3Fu); Index++) Name.push_back(static_cast<CHAR16>(u'a' + Index % 26));
  Name.push_back(0);
  const size_t NameLength = Name.size() - 1;
  std::vector<CHAR16> Dir;
  for (size_t At = 1; At + 1 < Size; At += 2) Dir.push_back(static_cast<CHAR16>(Data[At] | (Data[At + 1] << 8)));
  Dir.push_back(0);
  const bool NullDir = (Data[0] & 0x80) != 0;
  size_t DirLength = 0;
  while (Dir[DirLength] != 0) DirLength++;

  {
    CapturePath Path;
    Require(Path.Build(NullDir ? nullptr : Dir.data(), NameLength) == EFI_SUCCESS);
    Path.AppendFileName(Name.data());
    const CHAR16 *Text = Path.Text();
    size_t Length = 0;
    while (Text[Length] != 0) Length++;

    Require(Length >= NameLength + 1);
    Require(Text[0] == '\\');
    Require(std::equal(Name.begin(), Name.end() - 1, Text + Length - NameLength));
    Require(Text[Length - NameLength - 1] == '\\');
    // The directory part: nothing, or a tail of the current directory that
    // starts with a backslash somewhere after a colon.
    const size_t Part = Length - NameLength - 1;
    if (Part != 0) {
      Require(!NullDir && Part <= DirLength);
      Require(std::equal(Text, Text + Part, Dir.data() + DirLength - Part));
      Require(std::find(Dir.data(), Dir.data() + DirLength - Part, CHAR16(':')) != Dir.data() + DirLength - Part);
    }
  }
  Require(Fw.LivePoolBlocks() == 0 && Fw.Faults.empty());
  return 0;
}
