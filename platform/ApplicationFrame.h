// The application frame: what runs between the firmware's call of the image
// and the command's main, and back.
#pragma once

#include "platform/Efi.h"

typedef int (*APPLICATION_MAIN)(int Argc, char **Argv);

// main's result: 0 for success, otherwise the failing EFI status's code
// (the status without its error bit), which the frame turns back into that
// status so a shell script sees it in %lasterror%.
int ExitCodeFromStatus(EFI_STATUS Status);
EFI_STATUS StatusFromExitCode(int ExitCode);

// Records the image handle and the firmware tables (gImageHandle, gST, gBS),
// finds the shell's protocols, takes the arguments from the shell
// (EFI_SHELL_PARAMETERS_PROTOCOL, or the older shell interface) as UTF-8,
// calls Main once and gives back everything it set up. Returns Main's result
// as an EFI status. When the arguments cannot be had, Main gets none: the
// command does not use them. A system table without boot services or a
// console gives EFI_INVALID_PARAMETER and Main does not run.
EFI_STATUS RunShellApplication(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable,
                               APPLICATION_MAIN Main);
