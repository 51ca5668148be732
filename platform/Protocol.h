// Protocols by type, each type's GUID named once, and lookups that never hand
// back a null interface with success; and the few the images look for by
// purpose.
#pragma once

#include "platform/Efi.h"
#include "platform/Hii.h"
#include "platform/PoolBuffer.h"
#include "platform/Shell.h"

// Each protocol type's GUID, for the lookups below.
template <typename PROTOCOL>
EFI_GUID *ProtocolGuid();
template <> inline EFI_GUID *ProtocolGuid<EFI_GRAPHICS_OUTPUT_PROTOCOL>() { return &gEfiGraphicsOutputProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>() {
  return &gEfiSimpleFileSystemProtocolGuid;
}
template <> inline EFI_GUID *ProtocolGuid<EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL>() {
  return &gEfiSimpleTextInputExProtocolGuid;
}
template <> inline EFI_GUID *ProtocolGuid<EFI_LOADED_IMAGE_PROTOCOL>() { return &gEfiLoadedImageProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_DEVICE_PATH_PROTOCOL>() { return &gEfiDevicePathProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_SHELL_PROTOCOL>() { return &gEfiShellProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_SHELL_PARAMETERS_PROTOCOL>() { return &gEfiShellParametersProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_SHELL_INTERFACE>() { return &gEfiShellInterfaceGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_SHELL_ENVIRONMENT2>() { return &gEfiShellEnvironment2Guid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_HII_DATABASE_PROTOCOL>() { return &gEfiHiiDatabaseProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_HII_STRING_PROTOCOL>() { return &gEfiHiiStringProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_FORM_BROWSER2_PROTOCOL>() { return &gEfiFormBrowser2ProtocolGuid; }
template <> inline EFI_GUID *ProtocolGuid<EFI_HII_CONFIG_ROUTING_PROTOCOL>() {
  return &gEfiHiiConfigRoutingProtocolGuid;
}

// Guid's interface on Handle, opened for the image (GET_PROTOCOL), or null.
// *Status, when asked for, is OpenProtocol's; EFI_NOT_FOUND for a null
// interface it called a success.
VOID *OpenProtocolOn(EFI_HANDLE Handle, EFI_GUID *Guid, EFI_STATUS *Status = nullptr);
// The first instance of Guid in the system, or null; *Status as above.
VOID *LocateProtocolOf(EFI_GUID *Guid, EFI_STATUS *Status = nullptr);

template <typename PROTOCOL>
PROTOCOL *OpenProtocol(EFI_HANDLE Handle, EFI_STATUS *Status = nullptr) {
  return static_cast<PROTOCOL *>(OpenProtocolOn(Handle, ProtocolGuid<PROTOCOL>(), Status));
}

template <typename PROTOCOL>
PROTOCOL *LocateProtocol(EFI_STATUS *Status = nullptr) {
  return static_cast<PROTOCOL *>(LocateProtocolOf(ProtocolGuid<PROTOCOL>(), Status));
}

// Every handle that carries Guid, *Count of them; empty (and 0) when none
// does or the pool has no room. The caller owns the buffer.
PoolBuffer<EFI_HANDLE> LocateHandles(EFI_GUID *Guid, UINTN *Count);

// The volume ImageHandle was loaded from, or null when it cannot be told.
EFI_HANDLE ImageVolume(EFI_HANDLE ImageHandle);

// The console's Graphics Output, or, without one there, the first found;
// null when there is none.
EFI_GRAPHICS_OUTPUT_PROTOCOL *FindGraphicsOutput();

// The console splitter's Simple Text Input Ex, which passes a key
// registration on to every keyboard; null before the console input exists.
EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *ConsoleInputEx();
