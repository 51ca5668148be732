// The UEFI Shell's services the command uses: its current directory.
#pragma once

#include "platform/Efi.h"

// The older (EFI 1.1-era) shell's environment interface. Only the members up
// to the version fields are laid out; the command calls CurDir alone.
typedef CHAR16 *(EFIAPI *SHELLENV_CUR_DIR)(IN CHAR16 *DeviceName OPTIONAL);

typedef struct {
  VOID *Execute;
  VOID *GetEnv;
  VOID *GetMap;
  VOID *AddCmd;
  VOID *AddProt;
  VOID *GetProt;
  SHELLENV_CUR_DIR CurDir;
  VOID *FileMetaArg;
  VOID *FreeFileList;
  VOID *NewShell;
  VOID *BatchIsActive;
  VOID *FreeResources;
  EFI_GUID SESGuid;
  UINT32 MajorVersion;
  UINT32 MinorVersion;
} EFI_SHELL_ENVIRONMENT2;

static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, CurDir) == 6 * sizeof(VOID *), "CurDir is the 7th entry");
static_assert(offsetof(EFI_SHELL_ENVIRONMENT2, SESGuid) == 12 * sizeof(VOID *), "GUID after 12 entries");

// Finds the shell's protocols for ImageHandle: EFI_SHELL_PROTOCOL on the
// image handle or anywhere in the system, otherwise an EFI_SHELL_ENVIRONMENT2
// of version 1.0 or later, on the image handle first, then on every handle
// that carries it. Finding neither is not an error: the current directory is
// then unknown.
VOID ShellLibConstructor(EFI_HANDLE ImageHandle);

// Gives back the directory string the older shell handed over; the frame
// calls it after main.
VOID ShellLibDestructor();

// The current directory of DeviceName (null: the current mapping), as
// mapping name, colon, backslash, path, e.g. "FS0:\EFI\Tools"; null when no
// shell was found or the shell knows none. The string belongs to the shell
// library and stays valid until the next call or ShellLibDestructor.
const CHAR16 *ShellGetCurrentDir(const CHAR16 *DeviceName);
