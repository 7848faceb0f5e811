// Runs the program's puzzle reader and search inside a scratch folder.
#pragma once
#include "helpers.h"

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "solver/sudoku2.h"

using Grid = std::array<std::array<uint8_t, 9>, 9>;

inline Grid grid_of(const SUD& s) {
    Grid g{};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) g[r][c] = s.CELL[r][c];
    return g;
}

inline SUD sud_of(const Grid& g) {
    SUD s{};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) s.CELL[r][c] = g[r][c];
    return s;
}

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

class InScratchDir : public ScratchDir {
  protected:
    void SetUp() override {
        ScratchDir::SetUp();
        ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        BE = SUD{};
    }
    void TearDown() override {
        ASSERT_EQ(chdir(old_cwd), 0);
        ScratchDir::TearDown();
    }
    // Writes the puzzle file under the program's fixed name and reads it.
    Grid read_puzzle(const std::string& bytes) {
        write_file("c:\\in.txt", bytes);
        BE = SUD{};
        BEOLVAS();
        return grid_of(BE);
    }

    char old_cwd[PATH_MAX];
};
