// Target-only: the host tests call CaptureCommandMain, since their own
// runner owns main there.
#include "app/CaptureCommand.h"

int main(int Argc, char **Argv) { return CaptureCommandMain(Argc, Argv); }
