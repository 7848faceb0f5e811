// The pictures of the program's search, worked out apart from the program,
// and the least bytes that would show each one on a terminal.
#pragma once
#include <string>
#include <vector>

#include "grid_reference.h"

// A puzzle, its display steps (the grid drawn and the cell on red), and the
// least bytes of each step.
struct Puzzle {
    struct Step {
        Grid grid;
        int y, x;
    };
    Grid grid;
    std::vector<Step> steps;
    std::vector<std::string> least;
    size_t least_total = 0;
};

Puzzle make_puzzle(const Grid& g);

// The least program's input: each step's length (4 bytes, the machine's
// order), then its bytes.
std::string least_steps(const Puzzle& p);
