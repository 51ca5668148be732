// The command's whole run.
#pragma once

#include "platform/Efi.h"

// One capture: file name from the clock, path from the shell, the frame read
// back, the banner, the BMP written, the screen cleared and the closing line
// "Generate File at:<path>". EFI_SUCCESS only when the file was written
// whole; otherwise the failure's status (the graphics output look-up's,
// EFI_OUT_OF_RESOURCES, the read-back's or the writer's).
EFI_STATUS RunCapture();

// main's body: ignores its arguments and returns RunCapture's status as an
// exit code (0 for success).
int CaptureCommandMain(int Argc, char **Argv);
