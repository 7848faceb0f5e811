// The main program: read the puzzle, create the solutions file, search,
// close the file, show the banner and wait for Enter.
#include "runtime/console/consoledevice.h"
#include "solver/sudoku2.h"

uint8_t L;

// The standard channels first, the console device last: it takes OUTPUT and INPUT over.
MODULETABLE INITFINAL = {MODULECOUNT,
                         0,
                         {{SYSTEMINIT, nullptr},
                          {LIBRARYINIT, LIBRARYFINAL},
                          {LIBRARYINIT, LIBRARYFINAL},
                          {CRTINIT, nullptr}}};

constexpr char SOLUTIONSFILE[] = "out.txt";
constexpr const char* BANNER[] = {
    "Search finished - the solutions are in out.txt. Press Enter to quit.",
    "sudoku2 - a backtracking Sudoku solver that shows its search",
    "Written at home, December 2026",
};

KEEPFRAME void MAINPROGRAM() {
    ISCONSOLE = true;
    INITIALIZEUNITS(INITFINAL);
    BEOLVAS();
    ASSIGN(FO, STR(SOLUTIONSFILE));
    REWRITE(FO);
    IOCHECK();
    if (BE.CELL[0][0] == EMPTY) {
        for (L = FIRSTVALUE; L <= LASTVALUE; ++L) MEGOLD(BE, 0, 0, L);
    } else {
        MEGOLD(BE, 0, 0, FIRSTVALUE);
    }
    CLOSE(FO);
    IOCHECK();
    for (const char* LINE : BANNER) {
        WRITE_STR(0, OUTPUT, STR(LINE));
        WRITELN_END(OUTPUT);
        IOCHECK();
    }
    READLN_END(INPUT);
    IOCHECK();
    DO_EXIT();
}
