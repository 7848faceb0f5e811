// Grids as the tests and the benchmark write and read them, the solved grid
// their puzzles are made from, the Sudoku rule, and an enumeration of every
// completion written apart from the program's search, to check it against.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Grid = std::array<std::array<uint8_t, 9>, 9>;

// Parses 81 characters, digits or '.', ignoring anything else.
inline Grid parse_grid(const std::string& text) {
    Grid g{};
    int i = 0;
    for (char ch : text) {
        if (ch == '.' || (ch >= '0' && ch <= '9')) {
            g[i / 9][i % 9] = ch == '.' ? 0 : static_cast<uint8_t>(ch - '0');
            ++i;
        }
    }
    return g;
}

// The solved grid; a test's puzzle is it with some cells emptied.
constexpr const char* SOLVED_CELLS =
    "534678912672195348198342567859761423426853791713924856961537284287419635345286179";
inline const Grid SOLVED = parse_grid(SOLVED_CELLS);

// The puzzle file layout: digits separated by single spaces, CR LF line ends.
inline std::string puzzle_text(const Grid& g) {
    std::string out;
    for (const auto& row : g) {
        for (int c = 0; c < 9; ++c) {
            out += static_cast<char>('0' + row[c]);
            if (c < 8) out += ' ';
        }
        out += "\r\n";
    }
    return out;
}

// The solutions file block for one grid.
inline std::string solution_block(const Grid& g) {
    std::string out;
    for (const auto& row : g) {
        for (uint8_t v : row) {
            out += static_cast<char>('0' + v);
            out += ' ';
        }
        out += "\r\n";
    }
    return out + "\r\n";
}

// An independent enumeration: empty cells in row-major order, values in
// ascending order, each checked against everything in the grid.
struct Reference {
    std::vector<Grid> solutions;
    long steps = 0;
};

// Whether V may stand at row R, column C: not yet in its row, column or box.
inline bool allowed(const Grid& g, int r, int c, int v) {
    for (int i = 0; i < 9; ++i)
        if (g[i][c] == v || g[r][i] == v) return false;
    for (int i = r / 3 * 3; i < r / 3 * 3 + 3; ++i)
        for (int j = c / 3 * 3; j < c / 3 * 3 + 3; ++j)
            if (g[i][j] == v) return false;
    return true;
}

inline void enumerate(Grid g, const std::vector<int>& empties, size_t k, Reference& ref) {
    if (k == empties.size()) {
        if (g[8][8] != 0 && std::find(empties.begin(), empties.end(), 80) == empties.end())
            ++ref.steps; // the given bottom-right cell is entered once more
        ref.solutions.push_back(g);
        return;
    }
    const int r = empties[k] / 9, c = empties[k] % 9;
    for (int v = 1; v <= 9; ++v) {
        ++ref.steps;
        if (!allowed(g, r, c, v)) continue;
        g[r][c] = static_cast<uint8_t>(v);
        enumerate(g, empties, k + 1, ref);
        g[r][c] = 0;
    }
}

inline Reference reference_search(const Grid& g) {
    std::vector<int> empties;
    for (int i = 0; i < 81; ++i)
        if (g[i / 9][i % 9] == 0) empties.push_back(i);
    Reference ref;
    if (g[0][0] != 0) ++ref.steps; // the driver enters the given top-left cell once
    enumerate(g, empties, 0, ref);
    return ref;
}
