// A program on the runtime that fails in the way SUDOKU2_FAULT names, for the
// end-to-end tests of the run-time error report, faults and exit codes.
#include <cstdlib>
#include <cstring>

#include "platform/file.h"
#include "runtime/console/consoledevice.h"
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"
#include "runtime/textfile/textfile.h"
#include "solver/sudoku2.h"

namespace {

const char* FAULT = "";
volatile int ZERO = 0;
volatile int SEVEN = 7;
volatile double FZERO = 0.0;
volatile double HUGE_VALUE = 1e308;
int* volatile NOWHERE = nullptr;
constexpr int DEEP = 300;

KEEPFRAME void FAIL_IO() {
    TEXTREC T;
    ASSIGN(T, STR("/nonexistent-directory/missing.txt"));
    RESET(T);
    IOCHECK();
}

KEEPFRAME void DESCEND(int DEPTH) {
    if (DEPTH == 0) {
        FAIL_IO();
        return;
    }
    DESCEND(DEPTH - 1);
    ZERO = ZERO + 0; // keeps the call from being the last action
}

// Recurses until the stack runs out; the volatile test hides that from the compiler.
KEEPFRAME int RECURSE_FOREVER(int N) {
    volatile char PAD[256];
    PAD[0] = static_cast<char>(N);
    if (ZERO == 0) return RECURSE_FOREVER(N + 1) + PAD[0];
    return 0;
}

// Two procedures that call each other until the stack runs out: each stack
// line names the caller of the line before it, so a skipped frame shows.
KEEPFRAME int RECURSE_ODD(int N);
KEEPFRAME int RECURSE_EVEN(int N) {
    volatile char PAD[256];
    PAD[0] = static_cast<char>(N);
    if (ZERO == 0) return RECURSE_ODD(N + 1) + PAD[0];
    return 0;
}
KEEPFRAME int RECURSE_ODD(int N) {
    volatile char PAD[256];
    PAD[0] = static_cast<char>(N);
    if (ZERO == 0) return RECURSE_EVEN(N + 1) + PAD[0];
    return 0;
}

// One solution handed to out.txt, then a fault: the block must survive.
KEEPFRAME void SOLUTION_THEN_FAULT() {
    SUD GRID{};
    for (uint8_t ROW = 0; ROW < GRIDSIZE; ++ROW)
        for (uint8_t COLUMN = 0; COLUMN < GRIDSIZE; ++COLUMN)
            GRID.CELL[ROW][COLUMN] =
                static_cast<uint8_t>((ROW * BOXSIZE + ROW / BOXSIZE + COLUMN) % GRIDSIZE + 1);
    ASSIGN(FO, STR("out.txt"));
    REWRITE(FO);
    IOCHECK();
    KIIR(GRID);
    *NOWHERE = 1;
}

KEEPFRAME void FAIL_NOW() {
    if (std::strcmp(FAULT, "solution-then-null") == 0) SOLUTION_THEN_FAULT();
    if (std::strcmp(FAULT, "deep") == 0) DESCEND(DEEP);
    if (std::strcmp(FAULT, "io") == 0) FAIL_IO();
    if (std::strcmp(FAULT, "div0") == 0) ZERO = SEVEN / ZERO;
    // With its channel broken, the report of the fault faults in turn.
    if (std::strcmp(FAULT, "null-report-faults") == 0) STDOUT.BUFPTR = nullptr;
    if (std::strncmp(FAULT, "null", 4) == 0) *NOWHERE = 1;
    if (std::strcmp(FAULT, "recurse") == 0) ZERO = RECURSE_FOREVER(0);
    if (std::strcmp(FAULT, "recurse-mutual") == 0) ZERO = RECURSE_EVEN(0);
    if (std::strcmp(FAULT, "range") == 0) BOUNDCHECK(9 + ZERO, BOUNDS{0, 8});
    if (std::strcmp(FAULT, "overflow") == 0) OVERFLOW();
    if (std::strcmp(FAULT, "fdiv0") == 0) FZERO = 1.0 / FZERO;
    if (std::strcmp(FAULT, "finvalid") == 0) FZERO = FZERO / FZERO;
    if (std::strcmp(FAULT, "foverflow") == 0) FZERO = HUGE_VALUE * HUGE_VALUE;
    if (std::strcmp(FAULT, "halt") == 0) HALT(1);
    if (std::strcmp(FAULT, "error256") == 0)
        HANDLEERRORFRAME(256, reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
}

void SAY(const char* TEXT) {
    WRITE_STR(0, STDERR, STR(TEXT));
    WRITELN_END(STDERR);
}

void FINAL2() {
    SAY("finalise module 2");
}
void FINAL3() {
    SAY("finalise module 3");
}
// The exit after a fault stops here until the test ends the process.
void FINAL3_STALLS() {
    SAY("finalise module 3");
    for (;;) DELAY(1000);
}
void INIT4_FAILS() {
    INOUTRES = plat::ERR_FILE_NOT_FOUND;
    IOCHECK();
}

} // namespace

KEEPFRAME void MAINPROGRAM() {
    const char* CHOSEN = std::getenv("SUDOKU2_FAULT");
    FAULT = CHOSEN != nullptr ? CHOSEN : "";
    // This program draws nothing, so it does without the console device,
    // unless a test asks for it.
    MODULEPROC CONSOLE = std::getenv("SUDOKU2_CONSOLE") != nullptr ? CRTINIT : nullptr;
    static MODULETABLE MODULES = {
        MODULECOUNT,
        0,
        {{SYSTEMINIT, nullptr},
         {LIBRARYINIT, FINAL2},
         {LIBRARYINIT, std::strcmp(FAULT, "null-stall") == 0 ? FINAL3_STALLS : FINAL3},
         {std::strcmp(FAULT, "module4") == 0 ? INIT4_FAILS : CONSOLE, nullptr}}};
    INITIALIZEUNITS(MODULES);
    FAIL_NOW();
    DO_EXIT();
}
