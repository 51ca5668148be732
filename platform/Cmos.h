// The PC's CMOS real-time clock, reached by x86 port I/O.
#pragma once

#include "platform/Efi.h"

// Only x86 machines have I/O ports and the CMOS clock behind them; the
// others leave the port code out and name captures from the firmware's clock.
#if defined(__x86_64__) || defined(__i386__)
constexpr bool kHasCmosClock = true;
#else
constexpr bool kHasCmosClock = false;
#endif

// One byte to or from an x86 I/O port. The target build uses the out and in
// instructions; the host tests supply a fake clock.
VOID IoWrite8(UINT16 Port, UINT8 Value);
UINT8 IoRead8(UINT16 Port);

constexpr UINT16 kCmosIndexPort = 0x70;
constexpr UINT16 kCmosDataPort = 0x71;

// The raw byte of one clock register: the register number goes to the index
// port unchanged (bit 7, the NMI mask, stays as given) and one byte is read
// from the data port. No wait for the update-in-progress flag: the clock's
// register bytes are taken as they are at that moment.
UINT8 ReadCmosRegister(UINT8 Register);
