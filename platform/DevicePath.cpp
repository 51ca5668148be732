#include "platform/DevicePath.h"

#include "platform/Library.h"
#include "platform/Protocol.h"

namespace {

constexpr UINTN kNodeHeaderBytes = sizeof(EFI_DEVICE_PATH_PROTOCOL);
static_assert(kNodeHeaderBytes == 4, "type, subtype, 16-bit length");

UINTN NodeLength(const UINT8 *Node) { return Node[2] | (static_cast<UINTN>(Node[3]) << 8); }

VOID PutNode(UINT8 *At, UINT8 Type, UINT8 SubType, UINTN Length) {
  At[0] = Type;
  At[1] = SubType;
  At[2] = static_cast<UINT8>(Length);
  At[3] = static_cast<UINT8>(Length >> 8);
}

// The bytes of Path before its end node; FALSE when it is malformed: the
// firmware's data is followed only as far as its lengths stay sane.
BOOLEAN MeasurePath(const UINT8 *Path, UINTN *Bytes) {
  UINTN At = 0;
  while (At + kNodeHeaderBytes <= kLargestDevicePathBytes) {
    const UINT8 *Node = Path + At;
    if (Node[0] == END_DEVICE_PATH_TYPE && Node[1] == END_ENTIRE_DEVICE_PATH_SUBTYPE) {
      *Bytes = At;
      return TRUE;
    }
    const UINTN Length = NodeLength(Node);
    if (Length < kNodeHeaderBytes) {
      return FALSE;
    }
    At += Length;
  }
  return FALSE;
}

}  // namespace

PoolBuffer<UINT8> BuildFileDevicePath(EFI_HANDLE Device, const CHAR16 *Path) {
  const VOID *Interface = Device == nullptr ? nullptr : OpenProtocol<EFI_DEVICE_PATH_PROTOCOL>(Device);
  if (Interface == nullptr) {
    return PoolBuffer<UINT8>();
  }
  const auto *DevicePath = static_cast<const UINT8 *>(Interface);
  UINTN DeviceBytes = 0;
  const UINTN FileNodeBytes = kNodeHeaderBytes + (StrLen(Path) + 1) * sizeof(CHAR16);
  if (!MeasurePath(DevicePath, &DeviceBytes) || FileNodeBytes > 0xFFFF) {
    return PoolBuffer<UINT8>();
  }
  PoolBuffer<UINT8> Built = PoolBuffer<UINT8>::Allocate(DeviceBytes + FileNodeBytes + kNodeHeaderBytes);
  if (!Built) {
    return Built;
  }
  UINT8 *At = Built.Get();
  CopyMem(At, DevicePath, DeviceBytes);
  At += DeviceBytes;
  PutNode(At, MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, FileNodeBytes);
  CopyMem(At + kNodeHeaderBytes, Path, FileNodeBytes - kNodeHeaderBytes);
  At += FileNodeBytes;
  PutNode(At, END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, kNodeHeaderBytes);
  return Built;
}

BOOLEAN HandleDevicePath(EFI_HANDLE Handle, const UINT8 **Path, UINTN *Bytes) {
  const VOID *Interface = Handle == nullptr ? nullptr : OpenProtocol<EFI_DEVICE_PATH_PROTOCOL>(Handle);
  if (Interface == nullptr || !MeasurePath(static_cast<const UINT8 *>(Interface), Bytes)) {
    return FALSE;
  }
  *Path = static_cast<const UINT8 *>(Interface);
  *Bytes += kNodeHeaderBytes;
  return TRUE;
}
