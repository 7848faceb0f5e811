// The search display: the grid at the top-left corner, the examined cell on red.
#include "runtime/console/consoledevice.h"
#include "solver/sudoku2.h"

constexpr uint8_t RED = 4;
constexpr uint8_t BLACK = 0;
constexpr uint16_t STEPPAUSE = 60;

KEEPFRAME void KIIR2(SUD M, uint8_t Y, uint8_t X) {
    for (int16_t J = 0; J <= LASTINDEX; ++J) {
        for (int16_t JJ = 0; JJ <= LASTINDEX; ++JJ) {
            if (J == Y && JJ == X) TEXTBACKGROUND(RED);
            WRITE_SINT(0, OUTPUT, M.CELL[IX(J)][IX(JJ)]);
            WRITE_END(OUTPUT);
            IOCHECK();
            WRITE_CHAR(0, OUTPUT, ' ');
            WRITE_END(OUTPUT);
            IOCHECK();
            TEXTBACKGROUND(BLACK);
        }
        WRITE_STR(0, OUTPUT, STR(""));
        WRITELN_END(OUTPUT);
        IOCHECK();
    }
    WRITELN_END(OUTPUT);
    IOCHECK();
}

KEEPFRAME void DISPLAYSTEP(SUD S, uint8_t Y, uint8_t X) {
    CLRSCR();
    GOTOXY(1, 1);
    KIIR2(S, Y, X);
    DELAY(STEPPAUSE);
}
