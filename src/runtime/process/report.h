// The run-time error report.
#pragma once
#include "runtime/textfile/textfile.h"

#include <cstdint>

// At most this many stack lines (plus one) go to a character device.
constexpr uint16_t MAX_FRAME_DUMP = 8;

// HEXSTR's digits, filled with zeros on the left.
COUNTEDSTRING HEXSTR(uint64_t VALUE, uint8_t DIGITS);

// "  0x" and the address as an offset into the executable.
COUNTEDSTRING SYSBACKTRACESTR(uintptr_t ADDRESS);

// FIRSTRETURN, if not 0, is written first: a return address saved in no frame.
void DUMP_STACK(TEXTREC& T, uintptr_t FRAME, uintptr_t FIRSTRETURN = 0);

// Writes the whole report for ERRORCODE, ERRORADDR and ERRORBASE to STDOUT.
void WRITE_REPORT();
