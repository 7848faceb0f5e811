// Measures what the animation costs on a terminal: runs build/sudoku2 on a
// pseudo-terminal for a puzzle of a few hundred steps and prints the steps,
// the wall time per step beyond the 60 ms pause, the bytes sent to the
// terminal per step, and the least bytes that could show the same pictures.
//
// usage: terminal_bench [path/to/sudoku2]
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "grid_reference.h"

namespace {

constexpr double PAUSE_MS = 60.0;
constexpr int ROWS = 24;
constexpr int COLS = 80;
constexpr size_t CELLS = static_cast<size_t>(ROWS) * COLS;
constexpr uint8_t PLAIN = 0x07;
constexpr char CURSOR_QUERY[] = "\x1b[6n";
constexpr char CURSOR_REPLY[] = "\x1b[1;1R";
constexpr uint8_t HIGHLIGHT = 0x47;
// Twenty-six empty cells: 325 steps, about 20 s of animation.
constexpr int EMPTIED[][2] = {{0, 0}, {0, 1}, {0, 3}, {0, 6}, {0, 8}, {1, 3}, {1, 5},
                              {1, 6}, {1, 8}, {2, 2}, {2, 8}, {3, 5}, {3, 7}, {4, 1},
                              {5, 1}, {5, 3}, {5, 4}, {5, 6}, {6, 1}, {6, 3}, {6, 6},
                              {6, 8}, {7, 0}, {7, 1}, {8, 0}, {8, 2}};

struct Step {
    Grid grid;
    int y, x;
};

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

int digits(int v) {
    return v >= 10 ? 2 : 1;
}

// Each run of adjacent changed cells costs one cursor move (ESC [ row ; col H),
// one colour change (ESC [ 4x m) wherever its colour differs from the one
// before, and one byte per glyph.
long lower_bound(const Screen& before, const Screen& after) {
    constexpr int CUP_FIXED = 4;    // ESC [ ; H
    constexpr int COLOUR_BYTES = 5; // ESC [ 4 x m
    long bytes = 0;
    uint8_t colour = 0xFF;
    for (int r = 0; r < ROWS; ++r) {
        int c = 0;
        while (c < COLS) {
            if (before[r * COLS + c] == after[r * COLS + c]) {
                ++c;
                continue;
            }
            bytes += CUP_FIXED + digits(r + 1) + digits(c + 1);
            for (; c < COLS && !(before[r * COLS + c] == after[r * COLS + c]); ++c) {
                if (after[r * COLS + c].attr != colour) {
                    bytes += COLOUR_BYTES;
                    colour = after[r * COLS + c].attr;
                }
                bytes += 1;
            }
        }
    }
    return bytes;
}

} // namespace

// What the pause itself takes on this machine: the system's timer may
// overshoot a sleep by more than the program's own work per step.
double measured_pause_ms() {
    constexpr int SAMPLES = 40;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < SAMPLES; ++i) {
        timespec pause{0, static_cast<long>(PAUSE_MS * 1e6)};
        nanosleep(&pause, nullptr);
    }
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count() / SAMPLES;
}

int main(int argc, char** argv) {
    const std::string binary = argc > 1 ? argv[1] : "build/sudoku2";
    char resolved[4096];
    if (realpath(binary.c_str(), resolved) == nullptr) {
        std::perror(binary.c_str());
        return 2;
    }
    Grid g = SOLVED;
    for (const auto& cell : EMPTIED) g[cell[0]][cell[1]] = 0;
    std::vector<Step> steps;
    for (int v = 1; v <= 9; ++v) search(g, 0, 0, v, steps);
    if (g[0][0] != 0) {
        steps.clear();
        search(g, 0, 0, 1, steps);
    }

    long bound = 0;
    Screen previous(CELLS, Cell{' ', PLAIN});
    for (const Step& s : steps) {
        Screen now = picture(s);
        bound += lower_bound(previous, now);
        previous = now;
    }

    char dir[] = "/tmp/sudoku2-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 2;
    const std::string puzzle = std::string(dir) + "/c:\\in.txt";
    FILE* f = std::fopen(puzzle.c_str(), "w");
    std::fputs(puzzle_text(g).c_str(), f);
    std::fclose(f);

    winsize ws{};
    ws.ws_row = ROWS;
    ws.ws_col = COLS;
    int master = -1;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid == 0) {
        if (chdir(dir) != 0) _exit(127);
        setenv("LANG", "C.UTF-8", 1);
        execl(resolved, resolved, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string out;
    const std::string banner = "Press Enter to quit.";
    auto finished = start;
    bool seen = false;
    bool answered = false;
    char buf[65536];
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 30000) <= 0) break;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        // Answer the start-up cursor position query as a terminal would.
        if (!answered && out.find(CURSOR_QUERY) != std::string::npos) {
            answered = true;
            if (write(master, CURSOR_REPLY, sizeof CURSOR_REPLY - 1) < 0) break;
        }
        if (!seen && out.find(banner) != std::string::npos) {
            seen = true;
            finished = std::chrono::steady_clock::now();
            if (write(master, "\r", 1) != 1) break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (const char* dump = std::getenv("BENCH_DUMP")) {
        if (FILE* d = std::fopen(dump, "wb")) {
            std::fwrite(out.data(), 1, out.size(), d);
            std::fclose(d);
        }
    }
    std::string cleanup = std::string("rm -rf '") + dir + "'";
    if (std::system(cleanup.c_str()) != 0) return 2;
    if (!seen) {
        std::fprintf(stderr, "the program never showed its banner\n");
        return 1;
    }
    const double elapsed_ms = std::chrono::duration<double, std::milli>(finished - start).count();
    const double n = static_cast<double>(steps.size());
    std::printf("steps                      %zu\n", steps.size());
    const double pause_ms = measured_pause_ms();
    std::printf("overhead per step          %.3f ms (target < 0.300)\n", elapsed_ms / n - PAUSE_MS);
    std::printf("the 60 ms pause alone      %.3f ms\n", pause_ms);
    std::printf("overhead beyond the pause  %.3f ms\n", elapsed_ms / n - pause_ms);
    std::printf("bytes per step             %.1f\n", static_cast<double>(out.size()) / n);
    std::printf("lower bound per step       %.1f\n", static_cast<double>(bound) / n);
    std::printf("ratio to the lower bound   %.3f (target <= 1.25)\n",
                static_cast<double>(out.size()) / static_cast<double>(bound));
    return 0;
}
