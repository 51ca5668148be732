// Target-only: the host tests call FormsToolMain, since their own runner
// owns main there.
#include "forms/FormsTool.h"

int main(int Argc, char **Argv) { return FormsToolMain(Argc, Argv); }
