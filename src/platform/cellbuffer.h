// A grid of console cells and the console's scroll rule over it, shared by
// the terminal and by the tests' in-memory console.
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace plat {

struct CellBuffer {
    Cell* cells;   // width × height, row by row
    Cell* scratch; // as large as CELLS, for moving a rectangle
    int32_t width;
    int32_t height;
};

void cells_write(CellBuffer& b, int32_t x, int32_t y, Cell cell);

// Every cell of REGION on the screen becomes FILL.
void cells_fill(CellBuffer& b, Rect region, Cell fill);

// The cells a scroll blanks when nothing of the moved rectangle lands inside
// CLIP (a clear): then the scroll is only a fill of REGION. False otherwise.
bool scroll_is_fill(const CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y,
                    Rect* region);

// Moves RECT so that its top-left lands on (DEST_X, DEST_Y), writing only
// inside CLIP; the cells of RECT inside CLIP that the moved rectangle does not
// cover become FILL.
void cells_scroll(CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill);

} // namespace plat
