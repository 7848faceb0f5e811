#include "platform/cellbuffer.h"

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

} // namespace

void cells_write(CellBuffer& b, int32_t x, int32_t y, Cell cell) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
    b.cells[y * b.width + x] = cell;
}

void cells_fill(CellBuffer& b, Rect region, Cell fill) {
    const Rect r = intersect(region, Rect{0, 0, b.width - 1, b.height - 1});
    for (int32_t y = r.top; y <= r.bottom; ++y)
        for (int32_t x = r.left; x <= r.right; ++x) b.cells[y * b.width + x] = fill;
}

bool scroll_is_fill(const CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y,
                    Rect* region) {
    const Rect screen{0, 0, b.width - 1, b.height - 1};
    const Rect source = intersect(rect, screen);
    const Rect target = intersect(clip, screen);
    const int32_t dx = dest_x - rect.left;
    const int32_t dy = dest_y - rect.top;
    const Rect moved{source.left + dx, source.top + dy, source.right + dx, source.bottom + dy};
    if (!empty(intersect(moved, target))) return false;
    *region = intersect(source, target);
    return true;
}

void cells_scroll(CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    const Rect screen{0, 0, b.width - 1, b.height - 1};
    const Rect source = intersect(rect, screen);
    const Rect target = intersect(clip, screen);
    if (empty(source)) return;
    // A clear moves nothing into view: no copy through the scratch cells.
    Rect blanked{};
    if (scroll_is_fill(b, rect, clip, dest_x, dest_y, &blanked)) {
        cells_fill(b, blanked, fill);
        return;
    }
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            b.scratch[y * b.width + x] = b.cells[y * b.width + x];
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            if (inside(target, x, y)) b.cells[y * b.width + x] = fill;
    const int32_t dx = dest_x - rect.left;
    const int32_t dy = dest_y - rect.top;
    for (int32_t y = source.top; y <= source.bottom; ++y)
        for (int32_t x = source.left; x <= source.right; ++x)
            if (inside(target, x + dx, y + dy))
                b.cells[(y + dy) * b.width + x + dx] = b.scratch[y * b.width + x];
}

} // namespace plat
