// What the animation costs on the Win32 console, beyond its 60 ms pause:
// runs sudoku2.exe on a fresh 80x25 console, then on Windows' default
// 120x9001 one scrolled far down, through the test harness, on a
// puzzle of thousands of steps, loads a counter into it that counts its calls
// of Sleep (one per step) and of every console function, and times a run of
// whole steps.
//
// Usage: win32_console_bench SUDOKU2_EXE [STEPS]   (output redirected: 2>&1 | cat)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console_harness.h"
#include "win32_console_counts.h"

namespace {

constexpr const char* COUNTER_DLL = "win32_console_counter.dll";
constexpr const char* PUZZLE_PATH = "c:\\in.txt";
// Thousands of steps: still searching when the measurement ends.
constexpr const char* LONG_SEARCH =
    "5 3 0 0 7 0 0 0 0\r\n6 0 0 1 9 5 0 0 0\r\n0 9 8 0 0 0 0 6 0\r\n"
    "8 0 0 0 6 0 0 0 3\r\n4 0 0 8 0 3 0 0 1\r\n7 0 0 0 2 0 0 0 6\r\n"
    "0 6 0 0 0 0 2 8 0\r\n0 0 0 4 1 9 0 0 5\r\n0 0 0 0 8 0 0 7 9\r\n";
constexpr double PAUSE_MS = 60.0;
constexpr double TARGET_MS = 1.0;
constexpr double TARGET_CALLS = 1.0;
constexpr LONG64 DEFAULT_STEPS = 200;
// The first steps draw on a console in its starting colours.
constexpr LONG64 WARM_UP_STEPS = 5;
constexpr int SLEEP_SAMPLES = 20;
constexpr DWORD POLL_MS = 1;
constexpr DWORD STEP_TIMEOUT_MS = 5000;

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// What Sleep(60) itself takes here, so that the platform's lateness can be
// told from the program's own work.
double sleep_ms() {
    double total = 0;
    for (int i = 0; i < SLEEP_SAMPLES; ++i) {
        double start = now_ms();
        Sleep(static_cast<DWORD>(PAUSE_MS));
        total += now_ms() - start;
    }
    return total / SLEEP_SAMPLES;
}

struct Snapshot {
    double at_ms;
    LONG64 sleeps;
    LONG64 calls[MAX_COUNTED_FUNCTIONS];
};

// Waits for the step that makes the Sleep count reach STEPS and notes the
// moment it starts its pause.
bool snapshot_at(const ConsoleCounts& counts, LONG64 steps, Snapshot& snapshot) {
    double deadline = now_ms() + STEP_TIMEOUT_MS * static_cast<double>(steps - counts.sleeps + 1);
    while (counts.sleeps < steps) {
        if (now_ms() > deadline) return false;
        Sleep(POLL_MS);
    }
    snapshot.at_ms = now_ms();
    snapshot.sleeps = counts.sleeps;
    for (int i = 0; i < MAX_COUNTED_FUNCTIONS; ++i) snapshot.calls[i] = counts.calls[i];
    return true;
}

int fail(const char* what) {
    std::fprintf(stderr, "win32_console_bench: %s (error %lu)\n", what, GetLastError());
    return 1;
}

// A console as the benchmark opens it: its buffer, and where the prompt
// stands with the window scrolled to it (row 0: a fresh console).
struct Shape {
    const char* name;
    short width;
    short height;
    short prompt_row;
};

constexpr Shape SHAPES[] = {
    {"80x25, fresh", 80, 25, 0},
    {"120x9001, window scrolled to row 3000", 120, 9001, 3000},
};
constexpr short WINDOW_ROWS = 30;

int measure(const char* exe, const Shape& shape, LONG64 steps, double sleep_alone) {
    harness::Scratch scratch;
    if (!harness::write_file(PUZZLE_PATH, LONG_SEARCH)) return fail("cannot write c:\\in.txt");
    harness::Start start;
    start.command_line = "\"" + harness::windows_path(exe) + "\"";
    start.cwd = scratch.dir();
    start.width = shape.width;
    start.height = shape.height;
    if (shape.prompt_row > 0)
        start.prepare = [&shape](HANDLE out) {
            const SMALL_RECT window{0, shape.prompt_row, static_cast<SHORT>(shape.width - 1),
                                    static_cast<SHORT>(shape.prompt_row + WINDOW_ROWS - 1)};
            return SetConsoleCursorPosition(out, COORD{0, shape.prompt_row}) &&
                   SetConsoleWindowInfo(out, TRUE, &window);
        };
    harness::ConsoleRun run;
    if (!run.start(start)) return fail("cannot start the program");
    if (!harness::load_library(run.process(), harness::beside_this_program(COUNTER_DLL)))
        return fail("cannot load the counter into the program");
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE,
                                      console_counts_name(GetProcessId(run.process())).c_str());
    if (mapping == nullptr) return fail("no counters");
    const auto* counts = static_cast<const ConsoleCounts*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(ConsoleCounts)));
    if (counts == nullptr) return fail("no counters");

    Snapshot first{};
    Snapshot last{};
    if (!snapshot_at(*counts, WARM_UP_STEPS, first) ||
        !snapshot_at(*counts, first.sleeps + steps, last))
        return fail("the program stopped taking steps");
    DeleteFileA(PUZZLE_PATH);

    double measured = static_cast<double>(last.sleeps - first.sleeps);
    double per_step = (last.at_ms - first.at_ms) / measured;
    LONG64 console_calls = 0;
    for (int i = 0; i < counts->functions; ++i) console_calls += last.calls[i] - first.calls[i];
    std::printf("== %s\n", shape.name);
    std::printf("steps measured             %.0f (after %lld)\n", measured, WARM_UP_STEPS);
    std::printf("time per step              %.3f ms\n", per_step);
    std::printf("overhead per step          %.3f ms\n", per_step - PAUSE_MS);
    std::printf("Sleep(60) alone            %.3f ms\n", sleep_alone);
    std::printf("overhead beyond Sleep(60)  %.3f ms (target < %.3f)\n", per_step - sleep_alone,
                TARGET_MS);
    std::printf("console calls per step     %.2f (target <= %.2f)\n",
                static_cast<double>(console_calls) / measured, TARGET_CALLS);
    for (int i = 0; i < counts->functions; ++i) {
        LONG64 calls = last.calls[i] - first.calls[i];
        if (calls > 0)
            std::printf("  %-24s %.2f\n", counts->names[i], static_cast<double>(calls) / measured);
    }
    UnmapViewOfFile(counts);
    CloseHandle(mapping);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (harness::run_console_holder(argc, argv)) return 0;
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s SUDOKU2_EXE [STEPS]\n", argv[0]);
        return 2;
    }
    if (harness::output_is_console()) {
        std::fprintf(stderr, "redirect the output (2>&1 | cat): the benchmark takes the console\n");
        return 2;
    }
    LONG64 steps = argc == 3 ? std::max(1LL, std::atoll(argv[2])) : DEFAULT_STEPS;
    double sleep_alone = sleep_ms();
    for (const Shape& shape : SHAPES)
        if (int status = measure(argv[1], shape, steps, sleep_alone); status != 0) return status;
    return 0;
}
