#include "step_pictures.h"

#include <cstdint>

namespace {

constexpr int ROWS = 24;
constexpr int COLS = 80;
constexpr size_t CELLS = static_cast<size_t>(ROWS) * COLS;
constexpr uint8_t PLAIN = 0x07;
constexpr uint8_t HIGHLIGHT = 0x47;

using Step = Puzzle::Step;

// The display steps of the search, in order (the same rules as the program).
void search(Grid g, int y, int x, int n, std::vector<Step>& steps) {
    steps.push_back({g, y, x});
    if (g[y][x] == 0) {
        if (!allowed(g, y, x, n)) return;
        g[y][x] = static_cast<uint8_t>(n);
    }
    if (y == 8 && x == 8) return;
    int i = y, ii = x;
    do {
        if (++ii == 9) {
            ii = 0;
            ++i;
        }
    } while (!(g[i][ii] == 0 || (i == 8 && ii == 8)));
    if (g[i][ii] != 0) {
        search(g, i, ii, 1, steps);
        return;
    }
    for (int v = 1; v <= 9; ++v) search(g, i, ii, v, steps);
}

std::vector<Step> display_steps(const Grid& g) {
    std::vector<Step> steps;
    if (g[0][0] != 0) {
        search(g, 0, 0, 1, steps);
        return steps;
    }
    for (int v = 1; v <= 9; ++v) search(g, 0, 0, v, steps);
    return steps;
}

struct Cell {
    char ch;
    uint8_t attr;
    bool operator==(const Cell&) const = default;
};
using Screen = std::vector<Cell>;

Screen picture(const Step& s) {
    Screen screen(CELLS, Cell{' ', PLAIN});
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            const uint8_t attr = (r == s.y && c == s.x) ? HIGHLIGHT : PLAIN;
            screen[r * COLS + 2 * c] = Cell{static_cast<char>('0' + s.grid[r][c]), attr};
            screen[r * COLS + 2 * c + 1] = Cell{' ', attr};
        }
    return screen;
}

// The terminal's number (1 red, 4 blue) of an attribute's background colour
// (1 blue, 4 red).
char background_digit(uint8_t attr) {
    const int colour = (attr >> 4) & 7;
    return static_cast<char>('0' + (((colour & 1) << 2) | (colour & 2) | ((colour & 4) >> 2)));
}

// The least bytes that turn BEFORE into AFTER: each run of adjacent changed
// cells costs one cursor move (ESC [ row ; col H), one colour change
// (ESC [ 4x m) wherever its colour differs from the one before, and one byte
// per glyph. The pictures sit in the top-left corner, so these bytes are the
// same on any terminal of at least 80x24.
std::string least_bytes(const Screen& before, const Screen& after) {
    std::string bytes;
    uint8_t colour = 0xFF;
    for (int r = 0; r < ROWS; ++r) {
        int c = 0;
        while (c < COLS) {
            if (before[r * COLS + c] == after[r * COLS + c]) {
                ++c;
                continue;
            }
            bytes += "\x1b[" + std::to_string(r + 1) + ";" + std::to_string(c + 1) + "H";
            for (; c < COLS && !(before[r * COLS + c] == after[r * COLS + c]); ++c) {
                const Cell& cell = after[r * COLS + c];
                if (cell.attr != colour) {
                    bytes += std::string("\x1b[4") + background_digit(cell.attr) + "m";
                    colour = cell.attr;
                }
                bytes += cell.ch;
            }
        }
    }
    return bytes;
}

} // namespace

Puzzle make_puzzle(const Grid& g) {
    Puzzle p{g, display_steps(g), {}, 0};
    Screen previous(CELLS, Cell{' ', PLAIN});
    for (const Step& s : p.steps) {
        Screen now = picture(s);
        p.least.push_back(least_bytes(previous, now));
        p.least_total += p.least.back().size();
        previous = now;
    }
    return p;
}

std::string least_steps(const Puzzle& p) {
    std::string out;
    for (const std::string& bytes : p.least) {
        const auto length = static_cast<uint32_t>(bytes.size());
        out.append(reinterpret_cast<const char*>(&length), sizeof length);
        out += bytes;
    }
    return out;
}
