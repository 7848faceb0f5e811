// The cell buffer's marks: which cells an update must compare, which rows a
// clear may skip, and which rows are in use, after each kind of change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "param_name.h"
#include "platform/cellbuffer.h"

namespace {

using plat::Cell;
using plat::Rect;

constexpr int W = 8;
constexpr int H = 4;
constexpr Cell BLANK{' ', 7};
constexpr Cell BLUE_BLANK{' ', 0x17};
constexpr Rect ALL{0, 0, W - 1, H - 1};

struct Change {
    enum Kind { WRITE, FILL, SCROLL, CLEAR } kind;
    Rect rect; // WRITE: the cell at left, top; SCROLL: moved up to top - 1
    Cell cell;
};

void apply(plat::CellBuffer& b, const Change& c) {
    switch (c.kind) {
    case Change::WRITE: plat::cells_write(b, c.rect.left, c.rect.top, c.cell); break;
    case Change::FILL: plat::cells_fill(b, c.rect, c.cell); break;
    case Change::SCROLL:
        plat::cells_scroll(b, c.rect, c.rect, c.rect.left, c.rect.top - 1, c.cell);
        break;
    case Change::CLEAR: plat::cells_scroll(b, ALL, ALL, -W, -H, c.cell); break;
    }
}

struct MarkCase {
    const char* name;
    std::vector<Change> before; // drawn, then taken as shown
    Change change;
    // Per row: the cells, then '|', each column marked changed ('#') or not
    // ('.'), then "=" if the row is known to hold one value only.
    std::vector<std::string> rows;
    int used_top, used_bottom; // -1, -1: none
};

void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << c.name;
}

// One row of the picture; '!' where a row has marks outside the changed rows.
std::string picture(const plat::CellBuffer& b, int y) {
    std::string s;
    for (int x = 0; x < W; ++x) s += static_cast<char>(b.cells[y * W + x].ch);
    s += '|';
    const plat::Span c = b.rows[y].changed;
    const bool in_range = y >= b.changed_top && y <= b.changed_bottom;
    for (int x = 0; x < W; ++x) s += x >= c.left && x <= c.right ? (in_range ? '#' : '!') : '.';
    if (plat::row_uniform(b, y)) s += '=';
    return s;
}

const MarkCase MARK_CASES[] = {
    {"a write marks its cell and unmarks the row as uniform",
     {},
     {Change::WRITE, {3, 1, 3, 1}, {'A', 7}},
     {"        |........=", "   A    |...#....", "        |........=", "        |........="},
     1,
     1},
    {"a write of the row's own cell keeps it uniform",
     {},
     {Change::WRITE, {3, 1, 3, 1}, BLANK},
     {"        |........=", "        |...#....=", "        |........=", "        |........="},
     -1,
     -1},
    {"a clear fills only what was written since the last one",
     {{Change::WRITE, {2, 1, 2, 1}, {'A', 7}}, {Change::WRITE, {5, 1, 5, 1}, {'B', 7}}},
     {Change::CLEAR, ALL, BLANK},
     {"        |........=", "        |..####..=", "        |........=", "        |........="},
     -1,
     -1},
    {"a clear in other colours fills every row",
     {{Change::WRITE, {2, 1, 2, 1}, {'A', 7}}},
     {Change::CLEAR, ALL, BLUE_BLANK},
     {"        |########=", "        |########=", "        |########=", "        |########="},
     -1,
     -1},
    {"a fill of part of a row marks that part",
     {},
     {Change::FILL, {2, 1, 4, 2}, {'x', 7}},
     {"        |........=", "  xxx   |..###...", "  xxx   |..###...", "        |........="},
     1,
     2},
    {"a fill of whole rows leaves them uniform",
     {{Change::WRITE, {2, 1, 2, 1}, {'A', 7}}},
     {Change::FILL, {0, 1, W - 1, 2}, {'x', 7}},
     {"        |........=", "xxxxxxxx|########=", "xxxxxxxx|########=", "        |........="},
     -1,
     -1},
    {"a scroll marks the rows it moved; none is known uniform",
     {{Change::WRITE, {1, 2, 1, 2}, {'A', 7}}},
     {Change::SCROLL, {0, 1, W - 1, 3}, BLANK},
     {"        |........=", " A      |########", "        |########", "        |########"},
     1,
     3},
    {"a clear after a scroll fills the moved rows whole",
     {{Change::WRITE, {1, 2, 1, 2}, {'A', 7}}, {Change::SCROLL, {0, 1, W - 1, 3}, BLANK}},
     {Change::CLEAR, ALL, BLANK},
     {"        |........=", "        |########=", "        |########=", "        |########="},
     -1,
     -1},
    {"a write outside the screen marks nothing",
     {},
     {Change::WRITE, {W, 1, W, 1}, {'A', 7}},
     {"        |........=", "        |........=", "        |........=", "        |........="},
     -1,
     -1},
};

class CellMarks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(CellMarks, MarkWhatChangedAndSkipWhatCannotHave) {
    const MarkCase& c = GetParam();
    std::vector<Cell> cells(W * H), scratch(W * H);
    std::vector<plat::RowMarks> rows(H);
    plat::CellBuffer b{cells.data(), scratch.data(), rows.data(), W, H};
    plat::cells_start(b, BLANK);
    for (const Change& change : c.before) apply(b, change);
    plat::cells_forget_changes(b);
    apply(b, c.change);
    for (int y = 0; y < H; ++y) EXPECT_EQ(picture(b, y), c.rows[static_cast<size_t>(y)]) << y;
    if (c.used_top < 0) {
        EXPECT_GT(b.used_top, b.used_bottom) << "no row in use";
    } else {
        EXPECT_EQ(b.used_top, c.used_top);
        EXPECT_EQ(b.used_bottom, c.used_bottom);
    }
}

INSTANTIATE_TEST_SUITE_P(Changes, CellMarks, ::testing::ValuesIn(MARK_CASES),
                         [](const ::testing::TestParamInfo<MarkCase>& info) {
                             return param_name(info.param.name);
                         });

} // namespace
