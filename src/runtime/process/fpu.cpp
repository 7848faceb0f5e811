// The floating-point unit: its control word, and the check of its sticky
// flags where the unit cannot trap what the word leaves open.
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

#include "platform/process.h"

#include <cfenv>

// The floating-point control word: invalid operation, division by zero and
// overflow trap; extended precision, rounding to nearest.
constexpr uint16_t FPUCW = 0x1332;

// Whether the unit traps what FPUCW leaves open; if not, FPUCHECK reads its flags instead.
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
        LOAD_FPUCW();
        HANDLEERRORFRAME(ROW.NUMBER, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    }
}
