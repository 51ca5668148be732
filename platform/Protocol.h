// Protocols by type, each type's GUID named once, and lookups that never hand
// back a null interface with success; and the few the images look for by
// purpose.
#pragma once

#include "platform/Efi.h"
#include "platform/Hii.h"
#include "platform/PoolBuffer.h"
#include "platform/Shell.h"

template <typename PROTOCOL>
struct PROTOCOL_GUID;

#define VISTREL_PROTOCOL_GUID(Type, Guid) \
  template <>                             \
  struct PROTOCOL_GUID<Type> {            \
    static EFI_GUID *Get() { return &Guid; }  \
  }

VISTREL_PROTOCOL_GUID(EFI_GRAPHICS_OUTPUT_PROTOCOL, gEfiGraphicsOutputProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL, gEfiSimpleFileSystemProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL, gEfiSimpleTextInputExProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_LOADED_IMAGE_PROTOCOL, gEfiLoadedImageProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_DEVICE_PATH_PROTOCOL, gEfiDevicePathProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_SHELL_PROTOCOL, gEfiShellProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_SHELL_PARAMETERS_PROTOCOL, gEfiShellParametersProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_SHELL_INTERFACE, gEfiShellInterfaceGuid);
VISTREL_PROTOCOL_GUID(EFI_SHELL_ENVIRONMENT2, gEfiShellEnvironment2Guid);
VISTREL_PROTOCOL_GUID(EFI_HII_DATABASE_PROTOCOL, gEfiHiiDatabaseProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_HII_STRING_PROTOCOL, gEfiHiiStringProtocolGuid);
VISTREL_PROTOCOL_GUID(EFI_FORM_BROWSER2_PROTOCOL, gEfiFormBrowser2ProtocolGuid);

// Guid's interface on Handle, opened for the image (GET_PROTOCOL), or null.
// *Status, when asked for, is OpenProtocol's; EFI_NOT_FOUND for a null
// interface it called a success.
VOID *OpenProtocolOn(EFI_HANDLE Handle, EFI_GUID *Guid, EFI_STATUS *Status = nullptr);
// The first instance of Guid in the system, or null; *Status as above.
VOID *LocateProtocolOf(EFI_GUID *Guid, EFI_STATUS *Status = nullptr);

template <typename PROTOCOL>
PROTOCOL *OpenProtocol(EFI_HANDLE Handle, EFI_STATUS *Status = nullptr) {
  return static_cast<PROTOCOL *>(OpenProtocolOn(Handle, PROTOCOL_GUID<PROTOCOL>::Get(), Status));
}

template <typename PROTOCOL>
PROTOCOL *LocateProtocol(EFI_STATUS *Status = nullptr) {
  return static_cast<PROTOCOL *>(LocateProtocolOf(PROTOCOL_GUID<PROTOCOL>::Get(), Status));
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
