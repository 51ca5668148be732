#include "app/CaptureName.h"

#include "platform/Cmos.h"
#include "platform/Print.h"

namespace {

// Clock registers, read in this order.
constexpr UINT8 kCmosSeconds = 0x00;
constexpr UINT8 kCmosMinutes = 0x02;
constexpr UINT8 kCmosHours = 0x04;
constexpr UINT8 kCmosDayOfMonth = 0x07;
constexpr UINT8 kCmosMonth = 0x08;
constexpr UINT8 kCmosYear = 0x09;

}  // namespace

VOID BuildCaptureFileName(CHAR16 *FileName, UINTN FileNameBytes) {
  if constexpr (kHasCmosClock) {
    const UINT8 Second = ReadCmosRegister(kCmosSeconds);
    const UINT8 Minute = ReadCmosRegister(kCmosMinutes);
    const UINT8 Hour = ReadCmosRegister(kCmosHours);
    const UINT8 Day = ReadCmosRegister(kCmosDayOfMonth);
    const UINT8 Month = ReadCmosRegister(kCmosMonth);
    const UINT8 Year = ReadCmosRegister(kCmosYear);
    UnicodeSPrint(FileName, FileNameBytes, STR16("Vistrel_%02X%02X%02X_%02X%02X%02X.bmp"), UINT32{Year},
                  UINT32{Month}, UINT32{Day}, UINT32{Hour}, UINT32{Minute}, UINT32{Second});
  } else {
    BuildCaptureFileNameFromFirmwareClock(FileName, FileNameBytes);
  }
}

EFI_STATUS CapturePath::Build(const CHAR16 *CurrentDir, UINTN FileNameLength) {
  const CHAR16 *Colon = CurrentDir == nullptr ? nullptr : StrStr(CurrentDir, STR16(":"));
  const CHAR16 *Directory = nullptr;  // from the first backslash on; null for the root
  if (Colon != nullptr && StrCmp(Colon, STR16(":\\")) != 0) {
    Directory = StrStr(Colon, STR16("\\"));
  }
  const UINTN DirectoryLength = Directory == nullptr ? 0 : StrLen(Directory);

  // The directory, a backslash, the name and the NUL.
  UINTN Capacity = DirectoryLength;
  if (!SafeAdd(Capacity, FileNameLength, &Capacity) || !SafeAdd(Capacity, 2, &Capacity)) {
    return EFI_OUT_OF_RESOURCES;
  }
  mStorage = PoolBuffer<CHAR16>::Allocate(Capacity);
  if (!mStorage) {
    const UINTN Bytes = Capacity * sizeof(CHAR16);
    Print(STR16("Error Allocate %d Bytes\n"), static_cast<INT32>(Bytes));
    return EFI_OUT_OF_RESOURCES;
  }
  mCapacity = Capacity;
  if (Directory != nullptr) {
    CopyMem(mStorage.Get(), Directory, DirectoryLength * sizeof(CHAR16));
  }
  mStorage[DirectoryLength] = '\\';
  return EFI_SUCCESS;
}

VOID CapturePath::AppendFileName(const CHAR16 *FileName) {
  if (mStorage) {
    StrCatS(mStorage.Get(), mCapacity, FileName);
  }
}

const CHAR16 *CapturePath::Text() const { return mStorage ? mStorage.Get() : STR16(""); }
