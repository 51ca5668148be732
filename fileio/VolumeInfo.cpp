#include "fileio/VolumeInfo.h"

#include "fileio/FileSteps.h"
#include "platform/FileHandle.h"
#include "platform/Library.h"
#include "platform/PoolBuffer.h"

namespace {

// EFI_FILE_SYSTEM_INFO as the firmware lays it out: UEFI aligns UINT64 to 8
// bytes on every processor, which i386 C does not (gnu-efi's record puts
// VolumeSize at 12 there), so its fields are read at UEFI's offsets.
constexpr UINTN kReadOnlyOffset = 8;
constexpr UINTN kFreeSpaceOffset = 24;
constexpr UINTN kLabelOffset = 36;

// Room for the record and a label of 63 characters; a longer one costs one
// more call.
constexpr UINTN kFirstInfoSize = kLabelOffset + 64 * sizeof(CHAR16);

}  // namespace

EFI_STATUS ReadVolumeInfo(EFI_HANDLE Volume, VOLUME_INFO *Info) {
  *Info = VOLUME_INFO{};
  EFI_FILE_PROTOCOL *Opened = nullptr;
  EFI_STATUS Status = OpenVolumeRoot(Volume, &Opened);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  FileHandle Root(Opened);
  UINTN Size = kFirstInfoSize;
  UINTN Allocated = 0;
  PoolBuffer<UINT8> Record;
  for (int Attempt = 0; Attempt < 2; Attempt++) {
    Allocated = Size;
    Record = PoolBuffer<UINT8>::Allocate(Allocated);
    if (!Record) {
      return EFI_OUT_OF_RESOURCES;
    }
    Status = Root.Get()->GetInfo(Root.Get(), &gEfiFileSystemInfoGuid, &Size, Record.Get());
    if (Status != EFI_BUFFER_TOO_SMALL) {
      break;
    }
  }
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (Size < kLabelOffset) {
    return EFI_DEVICE_ERROR;
  }
  Size = Size < Allocated ? Size : Allocated;  // never past what was given
  Info->ReadOnly = Record[kReadOnlyOffset] != 0;
  CopyMem(&Info->FreeBytes, Record.Get() + kFreeSpaceOffset, sizeof(Info->FreeBytes));
  // The label is the firmware's text: only what fits and prints is kept.
  UINTN Kept = 0;
  for (UINTN At = kLabelOffset; At + sizeof(CHAR16) <= Size && Kept < kVolumeLabelCharacters; At += sizeof(CHAR16)) {
    CHAR16 Character;
    CopyMem(&Character, Record.Get() + At, sizeof(Character));
    if (Character == 0) {
      break;
    }
    if (Character >= 0x20 && Character != 0x7F) {
      Info->Label[Kept++] = Character;
    }
  }
  return EFI_SUCCESS;
}

BOOLEAN VolumeHoldsFile(EFI_HANDLE Volume, const CHAR16 *Path) {
  EFI_FILE_PROTOCOL *Opened = nullptr;
  if (EFI_ERROR(OpenVolumeRoot(Volume, &Opened))) {
    return FALSE;
  }
  FileHandle Root(Opened);
  if (EFI_ERROR(OpenFile(Root.Get(), Path, EFI_FILE_MODE_READ, &Opened))) {
    return FALSE;
  }
  FileHandle File(Opened);
  return TRUE;
}
