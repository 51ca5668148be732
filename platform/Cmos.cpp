#include "platform/Cmos.h"

UINT8 ReadCmosRegister(UINT8 Register) {
  IoWrite8(kCmosIndexPort, Register);
  return IoRead8(kCmosDataPort);
}
