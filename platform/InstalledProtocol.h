// Move-only owner of one protocol interface installed on a handle:
// uninstalled on every road.
#pragma once

#include "platform/Efi.h"

class InstalledProtocol {
 public:
  InstalledProtocol() = default;
  ~InstalledProtocol() { Uninstall(); }
  InstalledProtocol(const InstalledProtocol &) = delete;
  InstalledProtocol &operator=(const InstalledProtocol &) = delete;

  // Installs Interface (which must outlive the owner) as Guid on Handle.
  // Returns InstallProtocolInterface's status; the owner must be empty.
  EFI_STATUS Install(EFI_HANDLE Handle, EFI_GUID *Guid, VOID *Interface) {
    EFI_HANDLE Target = Handle;
    const EFI_STATUS Status = gBS->InstallProtocolInterface(&Target, Guid, EFI_NATIVE_INTERFACE, Interface);
    if (!EFI_ERROR(Status)) {
      mHandle = Target;
      mGuid = Guid;
      mInterface = Interface;
    }
    return Status;
  }

  // EFI_SUCCESS once nothing is installed. On a failure the interface stays
  // installed, and its memory must stay valid.
  EFI_STATUS Uninstall() {
    if (mHandle == nullptr) {
      return EFI_SUCCESS;
    }
    const EFI_STATUS Status = gBS->UninstallProtocolInterface(mHandle, mGuid, mInterface);
    if (!EFI_ERROR(Status)) {
      mHandle = nullptr;
    }
    return Status;
  }

  BOOLEAN Installed() const { return mHandle != nullptr; }

 private:
  EFI_HANDLE mHandle = nullptr;
  EFI_GUID *mGuid = nullptr;
  VOID *mInterface = nullptr;
};
