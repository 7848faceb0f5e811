// Runs the program's puzzle reader and search inside a scratch folder.
#pragma once
#include "grid_reference.h"
#include "helpers.h"

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "solver/sudoku2.h"

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
