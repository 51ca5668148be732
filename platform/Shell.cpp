#include "platform/Shell.h"

#include "platform/Library.h"
#include "platform/PoolBuffer.h"

namespace {

EFI_SHELL_PROTOCOL *mShellProtocol;
EFI_SHELL_ENVIRONMENT2 *mShellEnvironment2;
CHAR16 *mOwnedCurrentDir;  // from the older shell, which hands ownership over

BOOLEAN SameGuid(const EFI_GUID &A, const EFI_GUID &B) {
  return __builtin_memcmp(&A, &B, sizeof(EFI_GUID)) == 0;
}

VOID *GetProtocolOn(EFI_HANDLE Handle, EFI_GUID *Guid) {
  VOID *Interface = nullptr;
  if (EFI_ERROR(gBS->OpenProtocol(Handle, Guid, &Interface, gImageHandle, nullptr,
                                  EFI_OPEN_PROTOCOL_GET_PROTOCOL))) {
    return nullptr;
  }
  return Interface;
}

EFI_SHELL_ENVIRONMENT2 *AsShellEnvironment2(VOID *Interface) {
  auto *Environment = static_cast<EFI_SHELL_ENVIRONMENT2 *>(Interface);
  if (Environment == nullptr || !SameGuid(Environment->SESGuid, gEfiShellEnvironment2ExtGuid) ||
      Environment->MajorVersion < 1 || Environment->CurDir == nullptr) {
    return nullptr;
  }
  return Environment;
}

EFI_SHELL_ENVIRONMENT2 *FindShellEnvironment2(EFI_HANDLE ImageHandle) {
  EFI_SHELL_ENVIRONMENT2 *Found =
      AsShellEnvironment2(GetProtocolOn(ImageHandle, &gEfiShellEnvironment2Guid));
  if (Found != nullptr) {
    return Found;
  }
  UINTN Count = 0;
  EFI_HANDLE *Handles = nullptr;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &gEfiShellEnvironment2Guid, nullptr, &Count,
                                        &Handles))) {
    return nullptr;
  }
  PoolBuffer<EFI_HANDLE> Owner(Handles);
  for (UINTN Index = 0; Handles != nullptr && Index < Count && Found == nullptr; Index++) {
    Found = AsShellEnvironment2(GetProtocolOn(Handles[Index], &gEfiShellEnvironment2Guid));
  }
  return Found;
}

}  // namespace

VOID ShellLibConstructor(EFI_HANDLE ImageHandle) {
  mShellProtocol = static_cast<EFI_SHELL_PROTOCOL *>(GetProtocolOn(ImageHandle, &gEfiShellProtocolGuid));
  if (mShellProtocol == nullptr) {
    VOID *Interface = nullptr;
    if (!EFI_ERROR(gBS->LocateProtocol(&gEfiShellProtocolGuid, nullptr, &Interface))) {
      mShellProtocol = static_cast<EFI_SHELL_PROTOCOL *>(Interface);
    }
  }
  if (mShellProtocol != nullptr && mShellProtocol->GetCurDir == nullptr) {
    mShellProtocol = nullptr;
  }
  mShellEnvironment2 = mShellProtocol == nullptr ? FindShellEnvironment2(ImageHandle) : nullptr;
}

VOID ShellLibDestructor() {
  FreePool(mOwnedCurrentDir);
  mOwnedCurrentDir = nullptr;
  mShellProtocol = nullptr;
  mShellEnvironment2 = nullptr;
}

const CHAR16 *ShellGetCurrentDir(const CHAR16 *DeviceName) {
  if (mShellProtocol != nullptr) {
    return mShellProtocol->GetCurDir(DeviceName);
  }
  if (mShellEnvironment2 != nullptr) {
    FreePool(mOwnedCurrentDir);
    mOwnedCurrentDir = mShellEnvironment2->CurDir(const_cast<CHAR16 *>(DeviceName));
    return mOwnedCurrentDir;
  }
  return nullptr;
}
