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

} // namespace

void cells_write(CellBuffer& b, int32_t x, int32_t y, Cell cell) {
    if (x < 0 || y < 0 || x >= b.width || y >= b.height) return;
    b.cells[y * b.width + x] = cell;
}

void cells_scroll(CellBuffer& b, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    const Rect screen{0, 0, b.width - 1, b.height - 1};
    const Rect source = intersect(rect, screen);
    const Rect target = intersect(clip, screen);
    if (source.left > source.right || source.top > source.bottom) return;
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
