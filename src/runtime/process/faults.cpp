// Processor faults become run-time errors on the faulting thread.
#include "runtime/process/frames.h"
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

#include "platform/process.h"
#include "runtime/textfile/filedevice.h"

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

static void FAULTHANDLER(uint32_t CODE, const plat::Registers& REGS) {
    if (REGS.stack < STACKLOW || REGS.stack > STACKHIGH || REGS.frame == 0) return;
    for (const FAULTROW& ROW : FAULTTABLE) {
        if (ROW.CODE != CODE) continue;
        if (ROW.RESETFPU) LOAD_FPUCW();
        ERRORLINK = REGS.link;
        HANDLEERRORADDRFRAME(ROW.NUMBER, REGS.pc, REGS.frame);
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
