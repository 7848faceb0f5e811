// Measures what the animation costs on a terminal. It runs build/sudoku2 on a
// pseudo-terminal for a puzzle of a few hundred steps and prints the wall
// time per step beyond the 60 ms pause, the bytes sent to the terminal per
// step, and the least bytes that could show the same pictures. Then it counts,
// per step, the user-space instructions (callgrind) and the system calls
// (strace) of the program and of a least program that only sends those least
// bytes and pauses, at 80x24 and at 300x100: each as the slope between that
// puzzle and a two-step one, so that start-up and exit drop out.
//
// usage: terminal_bench [path/to/sudoku2]
// BENCH_DUMP=file keeps the bytes of the timed run; BENCH_KEEP=1 keeps the
// counting runs' folders (callgrind.out, strace.txt) and prints where.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "grid_reference.h"
#include "pty_runs.h"
#include "step_pictures.h"
#include "tool_counts.h"

namespace {

constexpr double PAUSE_MS = 60.0;
constexpr char PUZZLE_FILE[] = "/c:\\in.txt";
constexpr char LEAST_STEPS_FILE[] = "/least.steps";
constexpr char LEAST_PROGRAM[] = "/least_program";
// Twenty-six empty cells: 325 steps, about 20 s of animation.
constexpr int EMPTIED[][2] = {{0, 0}, {0, 1}, {0, 3}, {0, 6}, {0, 8}, {1, 3}, {1, 5},
                              {1, 6}, {1, 8}, {2, 2}, {2, 8}, {3, 5}, {3, 7}, {4, 1},
                              {5, 1}, {5, 3}, {5, 4}, {5, 6}, {6, 1}, {6, 3}, {6, 6},
                              {6, 8}, {7, 0}, {7, 1}, {8, 0}, {8, 2}};

// The targets of a step at 80x24, and how much dearer one on the large
// terminal may be.
constexpr double INSTRUCTIONS_TARGET = 15000;
constexpr double CALLS_TARGET = 1.45;
constexpr double LARGE_SCREEN_ALLOWANCE = 1.20;

struct TerminalSize {
    int rows, cols;
};
constexpr TerminalSize SIZES[] = {{24, 80}, {100, 300}};
constexpr size_t SIZE_COUNT = std::size(SIZES);

// Indexes of the counted runs' tables.
constexpr size_t SUDOKU2 = 0, LEAST = 1, PROGRAM_COUNT = 2;
constexpr size_t LONG = 0, SHORT = 1, LENGTH_COUNT = 2;
constexpr size_t CALLGRIND = 0, STRACE = 1, TOOL_COUNT = 2;

// Per step, by terminal size and program.
using PerStep = Tally[SIZE_COUNT][PROGRAM_COUNT];

// A folder holding the puzzle as c:\in.txt and the least program's steps.
std::string prepare_folder(const Puzzle& p) {
    std::string dir = make_folder();
    if (dir.empty()) return dir;
    if (!write_file(dir + PUZZLE_FILE, puzzle_text(p.grid)) ||
        !write_file(dir + LEAST_STEPS_FILE, least_steps(p))) {
        remove_folder(dir);
        return "";
    }
    return dir;
}

bool ended_well(const PtyRun& run) {
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) return true;
    std::fprintf(stderr, "%s ended with status 0x%x\n", run.argv.back().c_str(), run.status);
    return false;
}

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

// The program alone on an 80x24 terminal: time and bytes per step.
bool timed_run(const std::string& binary, const Puzzle& p) {
    const std::string dir = prepare_folder(p);
    if (dir.empty()) return false;
    std::vector<PtyRun> runs(1);
    runs[0].argv = {binary};
    runs[0].dir = dir;
    const bool ran = run_all(runs);
    remove_folder(dir);
    const PtyRun& run = runs[0];
    if (const char* dump = std::getenv("BENCH_DUMP")) write_file(dump, run.out);
    if (!ran || !ended_well(run)) return false;
    if (!run.banner) {
        std::fprintf(stderr, "the program never showed its banner\n");
        return false;
    }
    const double n = static_cast<double>(p.steps.size());
    std::printf("steps                      %zu\n", p.steps.size());
    const double pause_ms = measured_pause_ms();
    std::printf("overhead per step          %.3f ms (target < 0.300)\n",
                run.banner_ms / n - PAUSE_MS);
    std::printf("the 60 ms pause alone      %.3f ms\n", pause_ms);
    std::printf("overhead beyond the pause  %.3f ms\n", run.banner_ms / n - pause_ms);
    std::printf("bytes per step             %.1f\n", static_cast<double>(run.out.size()) / n);
    std::printf("lower bound per step       %.1f\n", static_cast<double>(p.least_total) / n);
    std::printf("ratio to the lower bound   %.3f (target <= 1.25)\n",
                static_cast<double>(run.out.size()) / static_cast<double>(p.least_total));
    return true;
}

struct CountedRun {
    size_t size, program, length, tool;
};

// The command of one counted run in DIR.
std::vector<std::string> counted_command(const std::string& program, bool least, size_t tool,
                                         const std::string& dir) {
    std::vector<std::string> command{program};
    if (least) command.push_back(dir + LEAST_STEPS_FILE);
    return tool == CALLGRIND ? under_callgrind(dir, command) : under_strace(dir, command);
}

// One counted run of each program, puzzle length and tool on each terminal
// size, all at once: the counts do not depend on the pace.
bool counted_runs(const std::string (&programs)[PROGRAM_COUNT],
                  const Puzzle* (&puzzles)[LENGTH_COUNT], PerStep& per_step) {
    std::vector<PtyRun> runs;
    std::vector<CountedRun> what;
    bool ok = true;
    for (size_t s = 0; s < SIZE_COUNT; ++s)
        for (size_t p = 0; p < PROGRAM_COUNT; ++p)
            for (size_t l = 0; l < LENGTH_COUNT; ++l)
                for (size_t t = 0; t < TOOL_COUNT; ++t) {
                    PtyRun& run = runs.emplace_back();
                    run.dir = prepare_folder(*puzzles[l]);
                    ok = ok && !run.dir.empty();
                    run.argv = counted_command(programs[p], p == LEAST, t, run.dir);
                    run.rows = SIZES[s].rows;
                    run.cols = SIZES[s].cols;
                    what.push_back(CountedRun{s, p, l, t});
                }
    ok = ok && run_all(runs);
    Tally tally[SIZE_COUNT][PROGRAM_COUNT][LENGTH_COUNT];
    for (size_t i = 0; ok && i < runs.size(); ++i) {
        const CountedRun& w = what[i];
        Tally& t = tally[w.size][w.program][w.length];
        ok = ended_well(runs[i]) &&
             (w.tool == STRACE ? read_strace(runs[i].dir, t) : read_callgrind(runs[i].dir, t));
    }
    const double steps =
        static_cast<double>(puzzles[LONG]->steps.size() - puzzles[SHORT]->steps.size());
    for (size_t s = 0; s < SIZE_COUNT; ++s)
        for (size_t p = 0; p < PROGRAM_COUNT; ++p)
            per_step[s][p] = slope(tally[s][p][LONG], tally[s][p][SHORT], steps);
    const bool keep = std::getenv("BENCH_KEEP") != nullptr;
    for (size_t i = 0; i < runs.size(); ++i) {
        const CountedRun& w = what[i];
        if (keep)
            std::printf("kept %s: %s %dx%d %zu steps %s\n", runs[i].dir.c_str(),
                        w.program == SUDOKU2 ? "sudoku2" : "least_program", SIZES[w.size].cols,
                        SIZES[w.size].rows, puzzles[w.length]->steps.size(),
                        w.tool == CALLGRIND ? "callgrind" : "strace");
        else
            remove_folder(runs[i].dir);
    }
    return ok;
}

void report_counts(const PerStep& per_step, const Puzzle* (&puzzles)[LENGTH_COUNT]) {
    std::printf("== per step, the slope between a %zu-step and a %zu-step run\n",
                puzzles[LONG]->steps.size(), puzzles[SHORT]->steps.size());
    std::printf("                              sudoku2  least program\n");
    const double small_step = per_step[0][SUDOKU2].instructions;
    for (size_t s = 0; s < SIZE_COUNT; ++s) {
        const Tally& program = per_step[s][SUDOKU2];
        const Tally& least = per_step[s][LEAST];
        const std::string size =
            std::to_string(SIZES[s].cols) + "x" + std::to_string(SIZES[s].rows);
        std::printf("%-7s instructions %12.0f %14.0f", size.c_str(), program.instructions,
                    least.instructions);
        if (s == 0)
            std::printf("  (target <= %.0f)\n", INSTRUCTIONS_TARGET);
        else
            std::printf("  (target <= %.0f, %.2f x %s; now %.2f x)\n",
                        small_step * LARGE_SCREEN_ALLOWANCE, LARGE_SCREEN_ALLOWANCE, "80x24",
                        program.instructions / small_step);
        std::printf("        system calls %12.3f %14.3f", program.total_calls(),
                    least.total_calls());
        if (s == 0) std::printf("  (target <= %.2f)", CALLS_TARGET);
        std::printf("\n");
    }
    std::printf("system calls per step at 80x24   sudoku2  least program\n");
    for (const auto& [name, count] : per_step[0][SUDOKU2].calls) {
        const auto least = per_step[0][LEAST].calls.find(name);
        const double least_count = least == per_step[0][LEAST].calls.end() ? 0.0 : least->second;
        if (count != 0.0 || least_count != 0.0)
            std::printf("  %-24s %12.3f %14.3f\n", name.c_str(), count, least_count);
    }
}

// The least program is built beside the benchmark.
std::string least_program_path() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return LEAST_PROGRAM + 1;
    const std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/')) + LEAST_PROGRAM;
}

} // namespace

int main(int argc, char** argv) {
    const std::string binary = argc > 1 ? argv[1] : "build/sudoku2";
    char resolved[4096];
    if (realpath(binary.c_str(), resolved) == nullptr) {
        std::perror(binary.c_str());
        return 2;
    }
    Grid g = SOLVED;
    for (const auto& cell : EMPTIED) g[cell[0]][cell[1]] = 0;
    const Puzzle long_puzzle = make_puzzle(g);
    const Puzzle short_puzzle = make_puzzle(SOLVED);
    if (!timed_run(resolved, long_puzzle)) return 1;
    std::fflush(stdout);
    const std::string programs[PROGRAM_COUNT] = {resolved, least_program_path()};
    const Puzzle* puzzles[LENGTH_COUNT] = {&long_puzzle, &short_puzzle};
    PerStep per_step;
    if (!counted_runs(programs, puzzles, per_step)) return 1;
    report_counts(per_step, puzzles);
    return 0;
}
