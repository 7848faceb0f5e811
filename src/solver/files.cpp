// The puzzle file and the solutions file.
#include "runtime/textfile/convert.h"
#include "solver/sudoku2.h"

TEXTREC FI;
TEXTREC FO;

constexpr char PUZZLEFILE[] = "c:\\in.txt";
constexpr int32_t LINECAPACITY = 255;

// Reader working values.
static uint8_t K;
static uint8_t KK;
static COUNTEDSTRING SOR;
static uint8_t SZ;
static int16_t EC;

KEEPFRAME void BEOLVAS() {
    ASSIGN(FI, STR(PUZZLEFILE));
    RESET(FI);
    IOCHECK();
    for (K = 0; K <= LASTINDEX; ++K) {
        READ_STRING(FI, SOR, LINECAPACITY);
        READLN_END(FI);
        IOCHECK();
        for (KK = 0; KK <= LASTINDEX; ++KK) {
            const int32_t POS = ADD(MUL(KK, 2), 1);
            // A position past the end of the line is an empty cell, never a
            // byte that an earlier, longer line left in SOR.
            COUNTEDSTRING CELLTEXT{};
            if (POS <= SOR.LENGTH) {
                CELLTEXT.LENGTH = 1;
                CELLTEXT.CHARS[0] = SOR.CHARS[POS - 1];
            }
            int32_t CODE = 0;
            const uint32_t VALUE = VALUNSIGNEDINT(CELLTEXT, CODE);
            EC = static_cast<int16_t>(CODE);
            SZ = TOBYTE(VALUE);
            BE.CELL[IX(K)][IX(KK)] = SZ;
        }
    }
    CLOSE(FI);
    IOCHECK();
}

KEEPFRAME void KIIR(SUD M) {
    for (int16_t J = 0; J <= LASTINDEX; ++J) {
        for (int16_t JJ = 0; JJ <= LASTINDEX; ++JJ) {
            WRITE_SINT(0, FO, M.CELL[IX(J)][IX(JJ)]);
            WRITE_END(FO);
            IOCHECK();
            WRITE_CHAR(0, FO, ' ');
            WRITE_END(FO);
            IOCHECK();
        }
        WRITE_STR(0, FO, STR(""));
        WRITELN_END(FO);
        IOCHECK();
    }
    WRITELN_END(FO);
    IOCHECK();
    // Each solution reaches the file whole and at once: whatever ends the
    // process later, out.txt holds only whole blocks.
    FLUSH(FO);
    IOCHECK();
}
