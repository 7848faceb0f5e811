// POSIX implementation of the platform process layer.
#include "platform/process.h"
#include "platform/internal/hooks.h"

#include "platform/posix/fault_origin.h"
#include "platform/posix/machine.h"
#include "platform/posix/posix.h"

#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

// Set by the linker at the image's start; the name is the linker's.
extern "C" char __executable_start; // NOLINT(bugprone-reserved-identifier)

namespace plat {

namespace {

constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
// Large enough for the whole exit sequence to run on it.
constexpr size_t ALTSTACK_SIZE = size_t{256} * 1024;
alignas(16) uint8_t ALTSTACK[ALTSTACK_SIZE];
// A fault this close to the stack pointer is taken as the stack running out.
constexpr uintptr_t STACK_GUARD_BAND = uintptr_t{64} * 1024;
constexpr uint32_t EXIT_STATUS_MASK = 0xFF;
constexpr uint32_t FAILURE_STATUS = 255;

FaultHandler HANDLER = nullptr;
// Faults taken so far. The first is handled in full; a fault inside that
// handling (in the report, say) only gives the terminal back; one inside that
// ends the process at once.
volatile sig_atomic_t FAULTS_TAKEN = 0;

uint32_t classify(int sig, const siginfo_t* si, uintptr_t sp, bool divide_check) {
    switch (sig) {
    case SIGSEGV:
    case SIGBUS: {
        auto addr = reinterpret_cast<uintptr_t>(si->si_addr);
        bool near_sp = addr + STACK_GUARD_BAND >= sp && addr <= sp + STACK_GUARD_BAND;
        return near_sp ? FAULT_STACK_OVERFLOW : FAULT_ACCESS_VIOLATION;
    }
    case SIGFPE:
        switch (si->si_code) {
        case FPE_INTDIV: return FAULT_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return FAULT_INT_OVERFLOW;
        case FPE_FLTDIV: return FAULT_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return FAULT_FLT_OVERFLOW;
        case FPE_FLTUND: return FAULT_FLT_UNDERFLOW;
        case FPE_FLTINV: return FAULT_FLT_INVALID_OPERATION;
        case FPE_FLTSUB: return FAULT_ARRAY_BOUNDS_EXCEEDED;
        case FPE_FLTRES: return FAULT_FLT_INEXACT_RESULT;
        default: return FAULT_UNKNOWN;
        }
    case SIGILL:
        return si->si_code == ILL_PRVOPC || si->si_code == ILL_PRVREG ? FAULT_PRIVILEGED_INSTRUCTION
                                                                      : FAULT_ILLEGAL_INSTRUCTION;
    case SIGTRAP: return divide_check ? FAULT_INT_DIVIDE_BY_ZERO : FAULT_SINGLE_STEP;
    default: return FAULT_UNKNOWN;
    }
}

// Ends the process by SIG's default action, so that its status tells which.
void end_by(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_fault(int sig, siginfo_t* si, void* context) {
    const sig_atomic_t taken = FAULTS_TAKEN;
    FAULTS_TAKEN = taken + 1;
    if (taken > 0) {
        if (taken == 1) term::restore_modes();
        end_by(sig);
        return;
    }
    // A fault signal sent from outside ends the process like any request to
    // end it: no report, the terminal given back, the same signal.
    if (!sent_by_process(si->si_code)) {
        // The terminal gets its modes back before the riskier work; what is
        // still drawn (the report, the last picture) needs none of them.
        term::release_modes();
        Registers regs =
            machine::fault_registers(context, reinterpret_cast<uintptr_t>(si->si_addr));
        regs.link = machine::strip_signature(regs.link);
        const bool divide_check =
            sig == SIGTRAP && si->si_code == TRAP_BRKPT && machine::is_divide_check(regs);
        if (HANDLER != nullptr && regs.frame != 0)
            HANDLER(classify(sig, si, regs.stack, divide_check), regs);
    }
    // Declined: end by the signal itself, with the terminal given back first.
    run_end_hooks();
    end_by(sig);
}

} // namespace

void faults_install(FaultHandler handler) {
    HANDLER = handler;
    stack_t ss{};
    ss.ss_sp = ALTSTACK;
    ss.ss_size = sizeof ALTSTACK;
    sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = on_fault;
    // Not deferred: a fault inside the handler must reach it again, or the
    // kernel ends the process with the terminal still raw.
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int sig : FAULT_SIGNALS) sigaction(sig, &sa, nullptr);
}

void faults_remove() {
    HANDLER = nullptr;
    for (int sig : FAULT_SIGNALS) signal(sig, SIG_DFL);
}

void stack_bounds(uintptr_t* low, uintptr_t* high) {
    // The highest address in use is near the caller's frame; the stack may
    // grow down to the resource limit from there.
    auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    rlimit rl{};
    uintptr_t size = 0;
    if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
        size = static_cast<uintptr_t>(rl.rlim_cur);
    else
        size = static_cast<uintptr_t>(1) << 32; // unlimited: a generous span
    *high = here + STACK_GUARD_BAND;
    *low = here > size + STACK_GUARD_BAND ? here - size - STACK_GUARD_BAND : 0;
}

uintptr_t frame_alignment() {
    return machine::FRAME_ALIGNMENT;
}

bool fpu_load_control(uint16_t control_word) {
    feclearexcept(FE_ALL_EXCEPT);
    int traps = 0;
    if ((control_word & CW_INVALID) == 0) traps |= FE_INVALID;
    if ((control_word & CW_ZERODIVIDE) == 0) traps |= FE_DIVBYZERO;
    if ((control_word & CW_OVERFLOW) == 0) traps |= FE_OVERFLOW;
    if ((control_word & CW_UNDERFLOW) == 0) traps |= FE_UNDERFLOW;
    if ((control_word & CW_INEXACT) == 0) traps |= FE_INEXACT;
    fedisableexcept(FE_ALL_EXCEPT);
    const bool trapping = feenableexcept(traps) != -1;
    machine::load_precision_rounding(control_word);
    return trapping;
}

uintptr_t code_offset(uintptr_t address) {
    address = machine::strip_signature(address);
    auto base = reinterpret_cast<uintptr_t>(&__executable_start);
    return address >= base ? address - base : address;
}

void process_exit(uint32_t status) {
    run_end_hooks();
    uint32_t low = status & EXIT_STATUS_MASK;
    _exit(static_cast<int>(status != 0 && low == 0 ? FAILURE_STATUS : low));
}

} // namespace plat
