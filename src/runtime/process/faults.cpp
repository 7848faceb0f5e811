// Processor faults become run-time errors on the faulting thread.
#include "runtime/process/frames.h"
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

#include "platform/process.h"
#include "runtime/textfile/filedevice.h"

#include <cfenv>

namespace {

struct FAULTROW {
    uint32_t CODE;
    int32_t NUMBER;
    bool RESETFPU;
};

constexpr FAULTROW FAULTTABLE[] = {
    {plat::FAULT_SINGLE_STEP, RTE_OTHER_FAULT, false},
    {plat::FAULT_ACCESS_VIOLATION, RTE_ACCESS_VIOLATION, false},
    {plat::FAULT_IN_PAGE_ERROR, RTE_OTHER_FAULT, false},
    {plat::FAULT_ILLEGAL_INSTRUCTION, RTE_OTHER_FAULT, false},
    {plat::FAULT_ARRAY_BOUNDS_EXCEEDED, RTE_RANGE, false},
    {plat::FAULT_FLT_DENORMAL_OPERAND, RTE_ACCESS_VIOLATION, true},
    {plat::FAULT_FLT_DIVIDE_BY_ZERO, RTE_DIVISION_BY_ZERO, true},
    {plat::FAULT_FLT_INVALID_OPERATION, RTE_INVALID_FLOAT_OPERATION, true},
    {plat::FAULT_FLT_OVERFLOW, RTE_FLOAT_OVERFLOW, true},
    {plat::FAULT_FLT_STACK_CHECK, RTE_INVALID_FLOAT_OPERATION, true},
    {plat::FAULT_FLT_UNDERFLOW, RTE_FLOAT_UNDERFLOW, true},
    {plat::FAULT_INT_DIVIDE_BY_ZERO, RTE_DIVISION_BY_ZERO, false},
    {plat::FAULT_INT_OVERFLOW, RTE_OVERFLOW, false},
    {plat::FAULT_PRIVILEGED_INSTRUCTION, RTE_OTHER_FAULT, false},
    {plat::FAULT_STACK_OVERFLOW, RTE_STACK_OVERFLOW, false},
};

} // namespace

// The floating-point control word: invalid operation, division by zero and
// overflow trap; extended precision, rounding to nearest.
constexpr uint16_t FPUCW = 0x1332;

static void FAULTHANDLER(const plat::Fault& FAULT) {
    if (FAULT.stack < STACKLOW || FAULT.stack > STACKHIGH || FAULT.frame == 0) return;
    for (const FAULTROW& ROW : FAULTTABLE) {
        if (ROW.CODE != FAULT.code) continue;
        if (ROW.RESETFPU) plat::fpu_load_control(FPUCW);
        ERRORLINK = FAULT.link;
        HANDLEERRORADDRFRAME(ROW.NUMBER, FAULT.address, FAULT.frame);
    }
}

void INSTALL_EXCEPTION_HANDLERS() {
    plat::faults_install(FAULTHANDLER);
    // A search ended by Ctrl+C, SIGTERM or SIGHUP keeps the solutions it found.
    plat::on_termination(WRITEOPENFILES);
}

void REMOVE_EXCEPTION_HANDLERS() {
    plat::faults_remove();
}

KEEPFRAME void REMEMBER_PROGRAM_STACK() {
    plat::stack_bounds(&STACKLOW, &STACKHIGH);
}

// Whether the unit traps what FPUCW leaves open; if not, FPUCHECK reads
// its sticky flags instead.
static bool FPUTRAPS = false;

void LOAD_FPUCW() {
    FPUTRAPS = plat::fpu_load_control(FPUCW);
}

// The control word's mask bits, each with its sticky flag and the number the
// exception gets when only the flag shows it (as its fault would).

struct STICKYROW {
    uint16_t MASKBIT;
    int FLAG;
    int32_t NUMBER;
};

constexpr STICKYROW STICKYTABLE[] = {
    {plat::CW_ZERODIVIDE, FE_DIVBYZERO, RTE_DIVISION_BY_ZERO},
    {plat::CW_INVALID, FE_INVALID, RTE_INVALID_FLOAT_OPERATION},
    {plat::CW_OVERFLOW, FE_OVERFLOW, RTE_FLOAT_OVERFLOW},
    {plat::CW_UNDERFLOW, FE_UNDERFLOW, RTE_FLOAT_UNDERFLOW},
};

// On a unit that traps them the fault comes first, so the flags (a costly
// read on some systems, and this runs after every file operation) are left
// alone there.
KEEPFRAME void FPUCHECK() {
    if (FPUTRAPS) return;
    const int RAISED = fetestexcept(FE_ALL_EXCEPT);
    if (RAISED == 0) return;
    for (const STICKYROW& ROW : STICKYTABLE) {
        if ((FPUCW & ROW.MASKBIT) != 0 || (RAISED & ROW.FLAG) == 0) continue;
        plat::fpu_load_control(FPUCW);
        HANDLEERRORFRAME(ROW.NUMBER, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    }
}
