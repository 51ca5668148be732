#include "platform/Shell.h"

#include "platform/Library.h"
#include "platform/PoolBuffer.h"
#include "platform/Protocol.h"
#include "platform/Text.h"

namespace {

EFI_SHELL_PROTOCOL *mShellProtocol;
EFI_SHELL_ENVIRONMENT2 *mShellEnvironment2;
CHAR16 *mOwnedCurrentDir;  // from the older shell, which hands ownership over

EFI_SHELL_ENVIRONMENT2 *AsShellEnvironment2(EFI_SHELL_ENVIRONMENT2 *Environment) {
  if (Environment == nullptr || !SameGuid(Environment->SESGuid, gEfiShellEnvironment2ExtGuid) ||
      Environment->MajorVersion < 1 || Environment->CurDir == nullptr) {
    return nullptr;
  }
  return Environment;
}

EFI_SHELL_ENVIRONMENT2 *FindShellEnvironment2(EFI_HANDLE ImageHandle) {
  EFI_SHELL_ENVIRONMENT2 *Found = AsShellEnvironment2(OpenProtocol<EFI_SHELL_ENVIRONMENT2>(ImageHandle));
  if (Found != nullptr) {
    return Found;
  }
  UINTN Count = 0;
  const PoolBuffer<EFI_HANDLE> Handles = LocateHandles(&gEfiShellEnvironment2Guid, &Count);
  for (UINTN Index = 0; Index < Count && Found == nullptr; Index++) {
    Found = AsShellEnvironment2(OpenProtocol<EFI_SHELL_ENVIRONMENT2>(Handles[Index]));
  }
  return Found;
}

}  // namespace

VOID ShellLibConstructor(EFI_HANDLE ImageHandle) {
  mShellProtocol = OpenProtocol<EFI_SHELL_PROTOCOL>(ImageHandle);
  if (mShellProtocol == nullptr) {
    mShellProtocol = LocateProtocol<EFI_SHELL_PROTOCOL>();
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
