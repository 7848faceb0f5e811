// Win32 implementation of the platform process layer: faults through a
// vectored exception handler, the console's control events, and the exit.
#include "platform/process.h"
#include "platform/internal/hooks.h"
#include "platform/win32/win32.h"

namespace plat {

namespace {

// Room left on the stack after it has overflowed, for the report and exit.
constexpr ULONG STACK_GUARANTEE = 64 * 1024;
constexpr uintptr_t FRAME_ALIGNMENT = 16;

// SSE faults come as one code for every kind; MXCSR's flags tell which.
constexpr DWORD FLOAT_MULTIPLE_FAULTS = 0xC00002B4;
constexpr DWORD FLOAT_MULTIPLE_TRAPS = 0xC00002B5;
constexpr uint32_t MXCSR_INVALID = 0x01;
constexpr uint32_t MXCSR_DENORMAL = 0x02;
constexpr uint32_t MXCSR_ZERODIVIDE = 0x04;
constexpr uint32_t MXCSR_OVERFLOW = 0x08;
constexpr uint32_t MXCSR_UNDERFLOW = 0x10;
constexpr uint32_t MXCSR_INEXACT = 0x20;

// The x87 control word's exception masks, rounding and precision fields,
// and where MXCSR keeps the same masks and rounding.
constexpr uint32_t CW_EXCEPTION_MASKS = 0x3F;
constexpr uint32_t CW_ROUNDING = 0xC00;
constexpr uint32_t MXCSR_FLAGS = 0x3F;
constexpr uint32_t MXCSR_MASKS_SHIFT = 7;
constexpr uint32_t MXCSR_ROUNDING_SHIFT = 3; // bits 10-11 of the word become 13-14
constexpr uint32_t MXCSR_ROUNDING = CW_ROUNDING << MXCSR_ROUNDING_SHIFT;

// A close, log-off or shutdown event ends the process when its handler
// returns; the handler waits this long for the program's next pause.
constexpr DWORD CLOSE_GRACE_MS = 4000;

FaultHandler HANDLER = nullptr;
PVOID VECTORED_HANDLER = nullptr;
// Set by the first processor fault: one inside its handling (in the report,
// say) ends the process with its own code instead of being handled again.
volatile LONG FAULT_TAKEN = 0;
bool STACK_OVERFLOWED = false;

void (*TERMINATION_HOOK)() = nullptr;
volatile LONG TERMINATION_PENDING = 0;
HANDLE TERMINATION_EVENT = nullptr;

// The cause is a raised flag whose exception is not masked; flags of masked
// exceptions may be left over from earlier operations.
uint32_t sse_fault_code(uint32_t mxcsr) {
    const uint32_t trapped = mxcsr & ~(mxcsr >> MXCSR_MASKS_SHIFT) & MXCSR_FLAGS;
    if ((trapped & MXCSR_INVALID) != 0) return FAULT_FLT_INVALID_OPERATION;
    if ((trapped & MXCSR_ZERODIVIDE) != 0) return FAULT_FLT_DIVIDE_BY_ZERO;
    if ((trapped & MXCSR_OVERFLOW) != 0) return FAULT_FLT_OVERFLOW;
    if ((trapped & MXCSR_UNDERFLOW) != 0) return FAULT_FLT_UNDERFLOW;
    if ((trapped & MXCSR_DENORMAL) != 0) return FAULT_FLT_DENORMAL_OPERAND;
    if ((trapped & MXCSR_INEXACT) != 0) return FAULT_FLT_INEXACT_RESULT;
    return FAULT_UNKNOWN;
}

// The processor faults; every other exception (a debugger's message, a C++
// exception) is left to whoever raised it.
constexpr uint32_t PROCESSOR_FAULTS[] = {
    FAULT_SINGLE_STEP,         FAULT_ACCESS_VIOLATION,      FAULT_IN_PAGE_ERROR,
    FAULT_ILLEGAL_INSTRUCTION, FAULT_ARRAY_BOUNDS_EXCEEDED, FAULT_FLT_DENORMAL_OPERAND,
    FAULT_FLT_DIVIDE_BY_ZERO,  FAULT_FLT_INEXACT_RESULT,    FAULT_FLT_INVALID_OPERATION,
    FAULT_FLT_OVERFLOW,        FAULT_FLT_STACK_CHECK,       FAULT_FLT_UNDERFLOW,
    FAULT_INT_DIVIDE_BY_ZERO,  FAULT_INT_OVERFLOW,          FAULT_PRIVILEGED_INSTRUCTION,
    FAULT_STACK_OVERFLOW,
};

bool processor_fault(uint32_t code) {
    for (uint32_t fault : PROCESSOR_FAULTS)
        if (fault == code) return true;
    return false;
}

// Called first for every exception, before any unwinding: the program's
// frames carry no unwind tables (see CMakeLists.txt).
LONG WINAPI on_fault(EXCEPTION_POINTERS* pointers) {
    const CONTEXT* context = pointers->ContextRecord;
    uint32_t code = pointers->ExceptionRecord->ExceptionCode;
    if (code == FLOAT_MULTIPLE_FAULTS || code == FLOAT_MULTIPLE_TRAPS)
        code = sse_fault_code(context->MxCsr);
    if (!processor_fault(code)) return EXCEPTION_CONTINUE_SEARCH;
    if (InterlockedExchange(&FAULT_TAKEN, 1) != 0)
        TerminateProcess(GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    STACK_OVERFLOWED = code == FAULT_STACK_OVERFLOW;
    const Registers regs = {static_cast<uintptr_t>(context->Rip),
                            static_cast<uintptr_t>(context->Rbp),
                            static_cast<uintptr_t>(context->Rsp), 0};
    if (HANDLER != nullptr && regs.frame != 0) HANDLER(code, regs);
    // Declined: the system ends the process, with the console given back first.
    run_end_hooks();
    return EXCEPTION_CONTINUE_SEARCH;
}

BOOL WINAPI on_control_event(DWORD event) {
    InterlockedExchange(&TERMINATION_PENDING, 1);
    SetEvent(TERMINATION_EVENT);
    // Ctrl+C and Ctrl+Break are handled once the program pauses; the other
    // events end the process as soon as this returns, so give it time first.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(CLOSE_GRACE_MS);
    return TRUE;
}

} // namespace

namespace win32 {

HANDLE termination_event() {
    return TERMINATION_EVENT;
}

void act_on_termination_request() {
    if (TERMINATION_PENDING == 0) return;
    if (TERMINATION_HOOK != nullptr) TERMINATION_HOOK();
    run_end_hooks();
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

} // namespace win32

void faults_install(FaultHandler handler) {
    HANDLER = handler;
    ULONG guarantee = STACK_GUARANTEE;
    SetThreadStackGuarantee(&guarantee);
    if (VECTORED_HANDLER == nullptr) VECTORED_HANDLER = AddVectoredExceptionHandler(1, on_fault);
}

void faults_remove() {
    HANDLER = nullptr;
    if (VECTORED_HANDLER != nullptr) RemoveVectoredExceptionHandler(VECTORED_HANDLER);
    VECTORED_HANDLER = nullptr;
}

// The stack is 16-byte aligned at every call, and a frame pointer is set
// after the return address and the caller's frame pointer (8 bytes each).
uintptr_t frame_alignment() {
    return FRAME_ALIGNMENT;
}

void stack_bounds(uintptr_t* low, uintptr_t* high) {
    ULONG_PTR lowest = 0;
    ULONG_PTR highest = 0;
    GetCurrentThreadStackLimits(&lowest, &highest);
    *low = lowest;
    *high = highest;
}

// Both units of an x86-64 processor trap what their masks leave open.
bool fpu_load_control(uint16_t control_word) {
    uint16_t cw = control_word;
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
    // Doubles live in SSE registers here: their traps follow the same masks.
    uint32_t mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~(MXCSR_FLAGS | (CW_EXCEPTION_MASKS << MXCSR_MASKS_SHIFT) | MXCSR_ROUNDING);
    mxcsr |= (cw & CW_EXCEPTION_MASKS) << MXCSR_MASKS_SHIFT;
    mxcsr |= (cw & CW_ROUNDING) << MXCSR_ROUNDING_SHIFT;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    return true;
}

uintptr_t code_offset(uintptr_t address) {
    const auto base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    return address >= base ? address - base : address;
}

void on_termination(void (*hook)()) {
    TERMINATION_HOOK = hook;
    if (TERMINATION_EVENT == nullptr)
        TERMINATION_EVENT = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A process started with Ctrl+C ignored is never sent it.
    SetConsoleCtrlHandler(on_control_event, TRUE);
    // Wine's console on a terminal then leaves the terminal's line discipline
    // on until its input is first waited on: an Enter typed before the final
    // wait would arrive as Ctrl+Enter (a line feed). A wait that returns at
    // once hands the keys over raw from here on.
    WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), 0);
}

// Windows keeps all 32 bits of the status, so every failure shows as one.
void process_exit(uint32_t status) {
    run_end_hooks();
    // After a stack overflow there is no room for the libraries' shutdown
    // that ExitProcess runs (Wine then ends the process with status 1).
    if (STACK_OVERFLOWED) TerminateProcess(GetCurrentProcess(), status);
    ExitProcess(status);
}

} // namespace plat
