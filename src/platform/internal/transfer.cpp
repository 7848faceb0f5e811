#include "platform/internal/transfer.h"

#include <algorithm>

namespace plat {

namespace {

Rect piece_at(const Rect& r, int32_t left, int32_t top) {
    const int32_t width = r.right - r.left + 1;
    if (width <= CELLS_PER_TRANSFER) {
        const int32_t rows = CELLS_PER_TRANSFER / width;
        return Rect{r.left, top, r.right, std::min(top + rows - 1, r.bottom)};
    }
    return Rect{left, top, std::min(left + CELLS_PER_TRANSFER - 1, r.right), top};
}

} // namespace

Rect first_transfer(const Rect& r) {
    return piece_at(r, r.left, r.top);
}

Rect next_transfer(const Rect& r, const Rect& piece) {
    if (piece.right < r.right) return piece_at(r, piece.right + 1, piece.top);
    return piece_at(r, r.left, piece.bottom + 1);
}

} // namespace plat
