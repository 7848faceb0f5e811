// sudoku2: the grid, its two files, the search, its display and the driver.
#pragma once
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"
#include "runtime/textfile/textfile.h"

#include <cstdint>

constexpr uint8_t GRIDSIZE = 9;
constexpr uint8_t LASTINDEX = GRIDSIZE - 1;
constexpr uint8_t BOXSIZE = 3;
constexpr uint8_t EMPTY = 0;
constexpr uint8_t FIRSTVALUE = 1;
constexpr uint8_t LASTVALUE = 9;

// The grid: 9 rows of 9 cells, [row][column], 0 = empty, 1..9 = a digit.
struct SUD {
    uint8_t CELL[GRIDSIZE][GRIDSIZE];
};

extern SUD BE;     // the puzzle as read
extern TEXTREC FI; // the puzzle file, open only inside BEOLVAS
extern TEXTREC FO; // the solutions file
extern uint8_t L;  // the value tried at the top-left cell by the driver

// Reads the puzzle file "c:\in.txt" into BE.
void BEOLVAS();
// Appends the solved grid M to the solutions file FO as one block.
void KIIR(SUD M);
// Tries N at row Y, column X of its own copy S, then searches on; solutions go to KIIR.
void MEGOLD(SUD S, uint8_t Y, uint8_t X, uint8_t N);
// Draws M on the console with the cell at row Y, column X on red.
void KIIR2(SUD M, uint8_t Y, uint8_t X);

// The display step at the start of every MEGOLD invocation.
void DISPLAYSTEP(SUD S, uint8_t Y, uint8_t X);

// Range and overflow checks of the program's own code. They are inlined into
// the procedure using them, so a failing check reports that procedure.
constexpr BOUNDS GRIDINDEX = {0, LASTINDEX};
constexpr BOUNDS BYTERANGE = {0, 255};

[[gnu::always_inline]] inline uint8_t IX(int32_t VALUE) {
    BOUNDCHECK(VALUE, GRIDINDEX);
    return static_cast<uint8_t>(VALUE);
}

[[gnu::always_inline]] inline uint8_t TOBYTE(int64_t VALUE) {
    BOUNDCHECK(static_cast<int32_t>(VALUE), BYTERANGE);
    return static_cast<uint8_t>(VALUE);
}

[[gnu::always_inline]] inline int32_t ADD(int32_t A, int32_t B) {
    int32_t R;
    if (__builtin_add_overflow(A, B, &R)) OVERFLOW();
    return R;
}

[[gnu::always_inline]] inline int32_t MUL(int32_t A, int32_t B) {
    int32_t R;
    if (__builtin_mul_overflow(A, B, &R)) OVERFLOW();
    return R;
}
