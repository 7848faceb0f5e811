// The puzzle grid, all zeros until the puzzle reader fills it.
#include "solver/sudoku2.h"

SUD BE;
