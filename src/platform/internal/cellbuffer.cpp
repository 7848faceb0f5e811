#include "platform/internal/cellbuffer.h"

#include <cstddef>

namespace plat {

namespace {

bool inside(const Rect& r, int32_t x, int32_t y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

Rect intersect(const Rect& a, const Rect& b) {
    return Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

bool empty(const Rect& r) {
    return r.left > r.right || r.top > r.bottom;
}

Rect screen(const CellBuffer& b) {
    return Rect{0, 0, b.width - 1, b.height - 1};
}

void widen_rows(int32_t& top, int32_t& bottom, int32_t from, int32_t to) {
    take_row(top, bottom, from);
    take_row(top, bottom, to);
}

// Marks every row unchanged and none in use; BASE for every row.
void unmark(CellBuffer& b, int32_t base) {
    for (int32_t y = 0; y < b.height; ++y) b.rows[y] = RowMarks{NO_COLUMNS, NO_COLUMNS, base};
    b.changed_top = b.used_top = INT32_MAX;
    b.changed_bottom = b.used_bottom = -1;
}

// Whether nothing of SOURCE moved by DX, DY lands inside TARGET (a clear):
// then the scroll is only a fill of what SOURCE and TARGET share.
bool scroll_is_fill(Rect source, Rect target, int32_t dx, int32_t dy) {
    const Rect moved{source.left + dx, source.top + dy, source.right + dx, source.bottom + dy};
    return empty(intersect(moved, target));
}

void fill_columns(CellBuffer& b, int32_t y, Span columns, Cell fill) {
    Cell* row = b.cells + static_cast<ptrdiff_t>(y) * b.width;
    for (int32_t x = columns.left; x <= columns.right; ++x) row[x] = fill;
    widen(b.rows[y].changed, columns.left, columns.right);
    take_row(b.changed_top, b.changed_bottom, y);
}

} // namespace

void cells_start(CellBuffer& b, Cell fill) {
    const int32_t cells = b.width * b.height;
    for (int32_t i = 0; i < cells; ++i) b.cells[i] = fill;
    unmark(b, cell_value(fill));
}

void cells_forget_rows(CellBuffer& b) {
    unmark(b, UNKNOWN_ROW);
}

void cells_mark_changed(CellBuffer& b, Rect region) {
    const Rect r = intersect(region, screen(b));
    if (empty(r)) return;
    for (int32_t y = r.top; y <= r.bottom; ++y) widen(b.rows[y].changed, r.left, r.right);
    widen_rows(b.changed_top, b.changed_bottom, r.top, r.bottom);
}

void cells_forget_changes(CellBuffer& b) {
    for (int32_t y = b.changed_top; y <= b.changed_bottom; ++y) b.rows[y].changed = NO_COLUMNS;
    b.changed_top = INT32_MAX;
    b.changed_bottom = -1;
}

void cells_fill(CellBuffer& b, Rect region, Cell fill) {
    const Rect r = intersect(region, screen(b));
    if (empty(r)) return;
    const int32_t value = cell_value(fill);
    const bool whole = r.left == 0 && r.right == b.width - 1;
    for (int32_t y = r.top; y <= r.bottom; ++y) {
        RowMarks& row = b.rows[y];
        if (!whole) {
            fill_columns(b, y, Span{r.left, r.right}, fill);
            if (row.base != value) widen(row.ink, r.left, r.right);
            continue;
        }
        // A row that holds FILL outside its ink needs only the ink filled.
        if (row.base != value) {
            fill_columns(b, y, Span{r.left, r.right}, fill);
            row.base = value;
        } else if (row.ink.right >= 0) {
            fill_columns(b, y, row.ink, fill);
        } else {
            continue;
        }
        row.ink = NO_COLUMNS;
    }
    // A fill of every row in use leaves none in use.
    if (whole && r.top <= b.used_top && r.bottom >= b.used_bottom) {
        b.used_top = INT32_MAX;
        b.used_bottom = -1;
    } else {
        widen_rows(b.used_top, b.used_bottom, r.top, r.bottom);
    }
}

void cells_scroll(CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    const Rect source = intersect(rect, screen(b));
    const Rect target = intersect(clip, screen(b));
    if (empty(source)) return;
    const int32_t dx = dest_x - rect.left;
    const int32_t dy = dest_y - rect.top;
    // A clear moves nothing into view: no copy through the scratch cells.
    if (scroll_is_fill(source, target, dx, dy)) {
        cells_fill(b, intersect(source, target), fill);
        return;
    }
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            b.scratch[y * b.width + x] = b.cells[y * b.width + x];
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            if (inside(target, x, y)) b.cells[y * b.width + x] = fill;
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            if (inside(target, x + dx, y + dy))
                b.cells[(y + dy) * b.width + x + dx] = b.scratch[y * b.width + x];
    // What moved in is not worked out row by row: the rows only count as changed.
    if (empty(target)) return;
    for (int32_t y = target.top; y <= target.bottom; ++y) b.rows[y].base = UNKNOWN_ROW;
    cells_mark_changed(b, target);
    widen_rows(b.used_top, b.used_bottom, target.top, target.bottom);
}

} // namespace plat
