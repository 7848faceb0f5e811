// Platform process layer: faults, the floating-point unit, the stack, exit.
#pragma once
#include <cstdint>

namespace plat {

// Processor faults, named by the exception codes the run-time error table uses.
constexpr uint32_t FAULT_SINGLE_STEP = 0x80000004;
constexpr uint32_t FAULT_ACCESS_VIOLATION = 0xC0000005;
constexpr uint32_t FAULT_IN_PAGE_ERROR = 0xC0000006;
constexpr uint32_t FAULT_ILLEGAL_INSTRUCTION = 0xC000001D;
constexpr uint32_t FAULT_ARRAY_BOUNDS_EXCEEDED = 0xC000008C;
constexpr uint32_t FAULT_FLT_DENORMAL_OPERAND = 0xC000008D;
constexpr uint32_t FAULT_FLT_DIVIDE_BY_ZERO = 0xC000008E;
constexpr uint32_t FAULT_FLT_INEXACT_RESULT = 0xC000008F;
constexpr uint32_t FAULT_FLT_INVALID_OPERATION = 0xC0000090;
constexpr uint32_t FAULT_FLT_OVERFLOW = 0xC0000091;
constexpr uint32_t FAULT_FLT_STACK_CHECK = 0xC0000092;
constexpr uint32_t FAULT_FLT_UNDERFLOW = 0xC0000093;
constexpr uint32_t FAULT_INT_DIVIDE_BY_ZERO = 0xC0000094;
constexpr uint32_t FAULT_INT_OVERFLOW = 0xC0000095;
constexpr uint32_t FAULT_PRIVILEGED_INSTRUCTION = 0xC0000096;
constexpr uint32_t FAULT_STACK_OVERFLOW = 0xC00000FD;
constexpr uint32_t FAULT_UNKNOWN = 0;

// The registers at a fault that the report is made from.
struct Registers {
    uintptr_t pc;    // the faulting instruction
    uintptr_t frame; // the frame pointer at the fault
    uintptr_t stack; // the stack pointer at the fault
    uintptr_t link;  // a return address not yet saved in any frame, 0 if none:
                     // the caller of a function that faulted in its prologue
};

// Told the fault (one of the FAULT_ codes) and its registers. Returns only to
// decline the fault; the process then ends by the signal.
using FaultHandler = void (*)(uint32_t code, const Registers& registers);

// Catches processor faults on an alternate stack, so that a stack overflow
// can still be handled.
void faults_install(FaultHandler handler);
void faults_remove();

// The lowest and highest address of the stack the calling code runs on.
void stack_bounds(uintptr_t* low, uintptr_t* high);
// Every frame record on the stack starts at a multiple of this.
uintptr_t frame_alignment();

// Resets the floating-point unit and loads an x87-layout control word:
// its mask bits choose which exceptions trap (a set bit masks its exception).
// False when the unit cannot trap them: their sticky flags are then the
// only sign of them.
bool fpu_load_control(uint16_t control_word);
constexpr uint16_t CW_INVALID = 0x01;
constexpr uint16_t CW_ZERODIVIDE = 0x04;
constexpr uint16_t CW_OVERFLOW = 0x08;
constexpr uint16_t CW_UNDERFLOW = 0x10;
constexpr uint16_t CW_INEXACT = 0x20;

// A code address as an offset into the executable, the same in every run,
// without any signature a return address may carry.
uintptr_t code_offset(uintptr_t address);

// Starts acting on the requests to end the process (Ctrl+C, SIGTERM, SIGHUP;
// on a Win32 console its control events) and sets what to do before it
// ends by one (hand buffered solutions to the OS). Only a request that the
// process was not started ignoring is acted on.
void on_termination(void (*hook)());

// Ends the process. Where the system keeps only the low 8 bits of a status,
// one whose low 8 bits are 0 but which is not 0 ends it with 255, so that a
// failure is never reported as success.
[[noreturn]] void process_exit(uint32_t status);

} // namespace plat
