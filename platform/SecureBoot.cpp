#include "platform/SecureBoot.h"

#include "platform/Firmware.h"
#include "platform/Protocol.h"

namespace {

EFI_GUID gShimImageLoaderGuid = {0x1f492041, 0xfadb, 0x4e59, {0x9e, 0x57, 0x7c, 0xaf, 0xe7, 0x3a, 0x55, 0xab}};

}  // namespace

BOOLEAN SecureBootIsOn() {
  UINT8 Value = 0;
  UINTN Size = sizeof(Value);
  return !EFI_ERROR(ReadGlobalVariable(STR16("SecureBoot"), &Value, &Size)) && Size == sizeof(Value) && Value == 1;
}

BOOLEAN ShimLoadsImages() {
  return LocateProtocolOf(&gShimImageLoaderGuid) != nullptr && SecureBootIsOn();
}
