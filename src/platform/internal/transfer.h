// A rectangle of cells cut into pieces that each fit one console transfer,
// so that a piece never outgrows the buffer it is staged in, whatever the
// widths of the rectangle and of the screen.
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace plat {

// The most cells one console call moves (the console's limit on a single
// transfer is 64 KB, at 4 bytes a cell).
constexpr int32_t CELLS_PER_TRANSFER = 8000;

// The first piece of R, a non-empty rectangle: as many whole rows as fit,
// or part of one row when a row alone is wider than a transfer.
Rect first_transfer(const Rect& r);

// The piece of R after PIECE, in row order; past the last piece its top is
// below R's bottom.
Rect next_transfer(const Rect& r, const Rect& piece);

} // namespace plat
