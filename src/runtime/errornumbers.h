// Run-time error numbers: what the report shows and the process ends with,
// the exit statuses of the manual. An OS error without a name here is
// recorded as its own number (2 a missing file, 3 a missing folder).
#pragma once
#include <cstdint>

// Recorded in INOUTRES by the channel operations and the file device.
constexpr uint16_t IO_ACCESS_DENIED = 5; // also a file another opener holds
constexpr uint16_t IO_WRITE_INCOMPLETE = 101;
constexpr uint16_t IO_NOT_BOUND = 102;
constexpr uint16_t IO_NOT_OPEN = 103;
constexpr uint16_t IO_NOT_OPEN_FOR_INPUT = 104;
constexpr uint16_t IO_NOT_OPEN_FOR_OUTPUT = 105;

// Raised by the checks, the fault handler and the floating-point check.
constexpr uint16_t RTE_DIVISION_BY_ZERO = 200;
constexpr uint16_t RTE_RANGE = 201;
constexpr uint16_t RTE_STACK_OVERFLOW = 202;
constexpr uint16_t RTE_FLOAT_OVERFLOW = 205;
constexpr uint16_t RTE_FLOAT_UNDERFLOW = 206;
constexpr uint16_t RTE_INVALID_FLOAT_OPERATION = 207;
constexpr uint16_t RTE_OVERFLOW = 215;
constexpr uint16_t RTE_ACCESS_VIOLATION = 216;
constexpr uint16_t RTE_OTHER_FAULT = 217; // a bad instruction, a trap, a failed page read
