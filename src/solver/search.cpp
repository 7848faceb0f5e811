// The backtracking search: one invocation per trial of a value in a cell.
#include "solver/sudoku2.h"

KEEPFRAME void MEGOLD(SUD S, uint8_t Y, uint8_t X, uint8_t N) {
    DISPLAYSTEP(S, Y, X);
    if (S.CELL[IX(Y)][IX(X)] == EMPTY) {
        bool OK = true;
        for (uint8_t I = 0; I <= LASTINDEX; ++I)
            if (S.CELL[IX(I)][IX(X)] == N) OK = false;
        for (uint8_t I = 0; I <= LASTINDEX; ++I)
            if (S.CELL[IX(Y)][IX(I)] == N) OK = false;
        // All 27 comparisons run; nothing stops early.
        const int32_t TOP = MUL(Y / BOXSIZE, BOXSIZE);
        const int32_t LEFT = MUL(X / BOXSIZE, BOXSIZE);
        const int32_t BOTTOM = ADD(TOP, BOXSIZE - 1);
        const int32_t RIGHT = ADD(LEFT, BOXSIZE - 1);
        for (uint8_t I = TOBYTE(TOP); I <= BOTTOM; ++I)
            for (uint8_t II = TOBYTE(LEFT); II <= RIGHT; ++II)
                if (S.CELL[IX(I)][IX(II)] == N) OK = false;
        if (!OK) return;
        S.CELL[IX(Y)][IX(X)] = N;
    }
    // A given cell ignores N; a complete grid is a solution.
    if (Y == LASTINDEX && X == LASTINDEX) {
        KIIR(S);
        return;
    }
    uint8_t I = Y;
    uint8_t II = X;
    do {
        II = TOBYTE(ADD(II, 1));
        if (II == GRIDSIZE) {
            II = 0;
            I = TOBYTE(ADD(I, 1));
        }
    } while (!(S.CELL[IX(I)][IX(II)] == EMPTY || (I == LASTINDEX && II == LASTINDEX)));
    if (S.CELL[IX(I)][IX(II)] != EMPTY) {
        MEGOLD(S, I, II, FIRSTVALUE);
        return;
    }
    for (uint8_t P = FIRSTVALUE; P <= LASTVALUE; ++P) MEGOLD(S, I, II, P);
}
