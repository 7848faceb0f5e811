// A grid of console cells and the console's scroll rule over it, shared by
// every console: the terminal, the Win32 console and the tests' in-memory one.
//
// Each write, fill and scroll also marks, row by row, the columns it changed,
// so that an update compares only those; and each row remembers the one cell
// it holds outside the columns written since it was last filled whole, so
// that a clear costs what was drawn since the last one, not the screen's size.
#pragma once
#include <climits>
#include <cstdint>

#include "platform/console.h"

namespace plat {

// The columns of one row; none when left > right.
struct Span {
    int32_t left;
    int32_t right;
};

constexpr Span NO_COLUMNS{INT32_MAX, -1};

// What is known of one row.
struct RowMarks {
    Span changed; // written since the last update
    Span ink;     // may hold other than BASE; none when the row holds only BASE
    int32_t base; // the cell (cell_value) of the rest of the row; UNKNOWN_ROW if none
};

constexpr int32_t UNKNOWN_ROW = -1;

struct CellBuffer {
    Cell* cells;    // width × height, row by row
    Cell* scratch;  // as large as CELLS, for moving a rectangle
    RowMarks* rows; // one per row
    int32_t width;
    int32_t height;
    // The rows with changes since the last update; none when top > bottom.
    int32_t changed_top = INT32_MAX;
    int32_t changed_bottom = -1;
    // The rows in use: written since a fill of whole rows blanked them all
    // (every row with ink, and those filled or scrolled in part).
    int32_t used_top = INT32_MAX;
    int32_t used_bottom = -1;
};

// A cell as one number, in the order of its bytes: one load where it is kept.
inline int32_t cell_value(Cell c) {
    return c.attr << CHAR_BIT | c.ch;
}

inline void widen(Span& s, int32_t left, int32_t right) {
    if (left < s.left) s.left = left;
    if (right > s.right) s.right = right;
}

inline void take_row(int32_t& top, int32_t& bottom, int32_t y) {
    if (y < top) top = y;
    if (y > bottom) bottom = y;
}

// Whether anything was written since the last update.
inline bool cells_changed(const CellBuffer& b) {
    return b.changed_top <= b.changed_bottom;
}

// Whether row Y is known to hold one cell value only.
inline bool row_uniform(const CellBuffer& b, int32_t y) {
    return b.rows[y].base != UNKNOWN_ROW && b.rows[y].ink.left > b.rows[y].ink.right;
}

// B's cells, scratch, rows and size are set: every cell becomes FILL, every
// row is known to hold only it, nothing is changed or in use.
void cells_start(CellBuffer& b, Cell fill);

// B's cells were set from elsewhere (read from a console): no row is known to
// hold one value; nothing is changed or in use.
void cells_forget_rows(CellBuffer& b);

// Every cell of REGION on the screen counts as changed: the next update
// compares it.
void cells_mark_changed(CellBuffer& b, Rect region);

// The update has dealt with every change.
void cells_forget_changes(CellBuffer& b);

// One character a call, the hottest path there is: inline, and the rows'
// ranges are widened only by the first mark of a row.
inline void cells_write(CellBuffer& b, int32_t x, int32_t y, Cell cell) {
    if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(b.width) ||
        static_cast<uint32_t>(y) >= static_cast<uint32_t>(b.height))
        return;
    RowMarks& row = b.rows[y];
    if (x < row.changed.left) {
        if (row.changed.right < 0) take_row(b.changed_top, b.changed_bottom, y);
        row.changed.left = x;
    }
    if (x > row.changed.right) row.changed.right = x;
    if (cell_value(cell) != row.base) {
        if (x < row.ink.left) {
            if (row.ink.right < 0) take_row(b.used_top, b.used_bottom, y);
            row.ink.left = x;
        }
        if (x > row.ink.right) row.ink.right = x;
    }
    // Last: a store of bytes might alias the marks as far as the compiler knows.
    b.cells[y * b.width + x] = cell;
}

// Every cell of REGION on the screen becomes FILL. A whole row that holds
// FILL already outside what was written since costs only those columns.
void cells_fill(CellBuffer& b, Rect region, Cell fill);

// Moves RECT so that its top-left lands on (DEST_X, DEST_Y), writing only
// inside CLIP; the cells of RECT inside CLIP that the moved rectangle does not
// cover become FILL.
void cells_scroll(CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill);

} // namespace plat
