// The cell buffer's marks: which cells an update must compare, which rows a
// clear may skip, and which rows are in use, after each kind of change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "param_name.h"
#include "platform/internal/cellbuffer.h"

namespace {

using plat::Cell;
using plat::Rect;

constexpr int W = 6;
constexpr int H = 3;
constexpr Cell BLANK{' ', 7};
constexpr Cell A{'A', 7};
constexpr Rect ALL{0, 0, W - 1, H - 1};

struct Change {
    enum Kind { WRITE, FILL, SCROLL, CLEAR } kind;
    Rect rect; // WRITE: the cell at left, top; SCROLL: moved up a row
    Cell cell;
};

void apply(plat::CellBuffer& b, const Change& c) {
    switch (c.kind) {
    case Change::WRITE: plat::cells_write(b, c.rect.left, c.rect.top, c.cell); break;
    case Change::FILL: plat::cells_fill(b, c.rect, c.cell); break;
    case Change::SCROLL: plat::cells_scroll(b, c.rect, c.rect, 0, c.rect.top - 1, c.cell); break;
    case Change::CLEAR: plat::cells_scroll(b, ALL, ALL, -W, -H, c.cell); break;
    }
}

struct MarkCase {
    const char* name;
    std::vector<Change> before; // drawn, then taken as shown
    Change change;
    // Each row's cells, '|', its columns marked changed ('#') or not ('.'),
    // '=' if it is known to hold one value only, '/'; then the rows in use.
    const char* marks;
};

// B's marks as a case states them; '!': marks outside the changed rows.
std::string marks(const plat::CellBuffer& b) {
    std::string s;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) s += static_cast<char>(b.cells[y * W + x].ch);
        s += '|';
        const plat::Span c = b.rows[y].changed;
        const bool in_range = y >= b.changed_top && y <= b.changed_bottom;
        for (int x = 0; x < W; ++x) s += x >= c.left && x <= c.right ? (in_range ? '#' : '!') : '.';
        s += plat::row_uniform(b, y) ? "=/" : "/";
    }
    if (b.used_top > b.used_bottom) return s + " none in use";
    return s + " in use " + std::to_string(b.used_top) + "-" + std::to_string(b.used_bottom);
}

const MarkCase MARK_CASES[] = {
    {"a write marks its cell and unmarks the row as uniform",
     {},
     {Change::WRITE, {3, 1, 3, 1}, A},
     "      |......=/   A  |...#../      |......=/ in use 1-1"},
    {"a write of the row's own cell keeps it uniform",
     {},
     {Change::WRITE, {3, 1, 3, 1}, BLANK},
     "      |......=/      |...#..=/      |......=/ none in use"},
    {"a clear fills only what was written since the last one",
     {{Change::WRITE, {1, 1, 1, 1}, A}, {Change::WRITE, {3, 1, 3, 1}, A}},
     {Change::CLEAR, ALL, BLANK},
     "      |......=/      |.###..=/      |......=/ none in use"},
    {"a clear back from other colours fills every row",
     {{Change::WRITE, {1, 1, 1, 1}, A}, {Change::CLEAR, ALL, {' ', 0x17}}},
     {Change::CLEAR, ALL, BLANK},
     "      |######=/      |######=/      |######=/ none in use"},
    {"a fill of part of a row marks that part",
     {},
     {Change::FILL, {2, 1, 4, 2}, A},
     "      |......=/  AAA |..###./  AAA |..###./ in use 1-2"},
    {"a scroll marks the rows it moved; none is known uniform",
     {{Change::WRITE, {1, 2, 1, 2}, A}},
     {Change::SCROLL, {0, 1, W - 1, 2}, BLANK},
     "      |......=/ A    |######/      |######/ in use 1-2"},
};

class CellMarks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(CellMarks, MarkWhatChangedAndSkipWhatCannotHave) {
    const MarkCase& c = GetParam();
    std::vector<Cell> cells(size_t{W} * H), scratch(size_t{W} * H);
    std::vector<plat::RowMarks> rows(H);
    plat::CellBuffer b{cells.data(), scratch.data(), rows.data(), W, H};
    plat::cells_start(b, BLANK);
    for (const Change& change : c.before) apply(b, change);
    plat::cells_forget_changes(b);
    apply(b, c.change);
    EXPECT_EQ(marks(b), c.marks);
}

INSTANTIATE_TEST_SUITE_P(Changes, CellMarks, ::testing::ValuesIn(MARK_CASES),
                         [](const ::testing::TestParamInfo<MarkCase>& info) {
                             return param_name(info.param.name);
                         });

} // namespace
