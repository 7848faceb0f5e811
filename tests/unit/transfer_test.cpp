// Cutting a rectangle into console transfers: every piece fits one transfer,
// and the pieces cover the rectangle exactly once, for widths that do not
// divide the transfer size and for rows wider than a transfer.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "param_name.h"
#include "platform/internal/transfer.h"

namespace {

struct Case {
    const char* name;
    plat::Rect r;
    int32_t biggest_piece; // cells in the largest piece
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class Transfers : public testing::TestWithParam<Case> {};

TEST_P(Transfers, FitOneTransferAndCoverTheRectangleOnce) {
    const plat::Rect r = GetParam().r;
    const int32_t width = r.right - r.left + 1;
    const int32_t height = r.bottom - r.top + 1;
    std::vector<int> covered(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    int32_t biggest = 0;
    for (plat::Rect p = plat::first_transfer(r); p.top <= r.bottom; p = plat::next_transfer(r, p)) {
        ASSERT_TRUE(p.left >= r.left && p.right <= r.right && p.top >= r.top &&
                    p.bottom <= r.bottom && p.left <= p.right && p.top <= p.bottom)
            << p.left << "," << p.top << " - " << p.right << "," << p.bottom;
        const int32_t cells = (p.right - p.left + 1) * (p.bottom - p.top + 1);
        ASSERT_LE(cells, plat::CELLS_PER_TRANSFER);
        biggest = std::max(biggest, cells);
        for (int32_t y = p.top; y <= p.bottom; ++y)
            for (int32_t x = p.left; x <= p.right; ++x)
                ++covered[static_cast<size_t>(y - r.top) * width + (x - r.left)];
    }
    for (size_t i = 0; i < covered.size(); ++i) ASSERT_EQ(covered[i], 1) << "cell " << i;
    EXPECT_EQ(biggest, GetParam().biggest_piece);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, Transfers,
    testing::Values(
        // A 79-wide change on a 120-wide screen: 101 rows, 7979 cells.
        Case{"width 79 of 120", {3, 0, 81, 149}, 7979},
        // Whole rows of the usual widths.
        Case{"width 120 x 9001", {0, 0, 119, 9000}, 7920},
        Case{"width 132", {0, 10, 131, 200}, 7920}, Case{"width 80 x 25", {0, 0, 79, 24}, 2000},
        // One short of, exactly, and just past a transfer.
        Case{"width 7999", {0, 0, 7998, 2}, 7999}, Case{"width 8000", {0, 0, 7999, 2}, 8000},
        Case{"width 8001", {5, 1, 8005, 2}, 8000},
        // Rows wider than a transfer go in parts of a row.
        Case{"width 20001", {0, 0, 20000, 1}, 8000}, Case{"one cell", {7, 4, 7, 4}, 1}),
    [](const testing::TestParamInfo<Case>& info) { return param_name(info.param.name); });

} // namespace
