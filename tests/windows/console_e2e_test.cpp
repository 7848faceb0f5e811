// End to end on the Win32 console: sudoku2.exe and the fault program started
// through the console harness, checked by the screen buffer (characters and
// attributes), typed keys, the files and the exit status.
//
// Usage: console_e2e_tests SUDOKU2_EXE FAULT_PROGRAM_EXE CALL_COUNTER_DLL [gtest flags]
// The harness attaches to each program's console, so its own output must
// go elsewhere (CTest redirects it; by hand, 2>&1 | cat).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "console_harness.h"
#include "grid_reference.h"
#include "image_symbols.h"
#include "win32_console_counts.h"

namespace {

using harness::ConsoleRun;

std::string SUDOKU2;
std::string FAULT_PROGRAM;
std::string CALL_COUNTER;

const std::string PUZZLE_PATH = "c:\\in.txt";
const char* const BANNER[] = {
    "Search finished - the solutions are in out.txt. Press Enter to quit.",
    "sudoku2 - a backtracking Sudoku solver that shows its search",
    "Written at home, December 2026",
};
constexpr int GRID_SIZE = 9;
constexpr int PICTURE_ROWS = 9;
constexpr int BANNER_ROW = 10;
constexpr int ECHO_ROW = 13;
constexpr WORD PLAIN = 0x07;
constexpr WORD HIGHLIGHT = 0x47;
constexpr size_t BLOCK_BYTES = 182;
constexpr size_t MAX_FILE_STACK_LINES = 257;
// How Wine 8 ends a process whose stack overflow it does not deliver.
constexpr DWORD WINE_DIED_STATUS = 1;
constexpr DWORD LONG_WAIT_MS = 60000;
constexpr DWORD KEY_ECHO_MS = 5000;
// The console Windows 10 and 11 open by default, and a prompt far down it.
constexpr short TALL_WIDTH = 120;
constexpr short TALL_HEIGHT = 9001;
constexpr short WINDOW_ROWS = 30;
constexpr short SHORT_WINDOW_ROWS = 20;
constexpr short PROMPT_ROW = 3000;
constexpr short SCROLLED_ROW = 100;
// Reverse video as a Windows 10 console keeps it for another program's SGR 7.
constexpr WORD REVERSE_GREY = COMMON_LVB_REVERSE_VIDEO | PLAIN;
// Long enough after a change for a picture to have caught up with it, well
// short of the rest of a search of ROW_ZERO.
constexpr DWORD CATCH_UP_MS = 1500;
// Steps a window size stays, enough for a look at the console.
constexpr LONG64 STEPS_PER_CHANGE = 4;
constexpr LONG64 MAX_CALLS_TO_HEAL = 100;
// Loaded into a program, it fails to load when the program's heap is damaged.
constexpr const char* HEAP_CHECK = "heap_check.dll";

// Scan codes of the keys the line editor acts on.
constexpr WORD SCAN_ESC = 1;
constexpr WORD SCAN_BACKSPACE = 14;
constexpr WORD SCAN_ENTER = 28;
constexpr WORD SCAN_HOME = 71;
constexpr WORD SCAN_LEFT = 75;
constexpr WORD SCAN_END = 79;

using Cells = std::initializer_list<std::pair<int, int>>;

std::string puzzle_without(Cells cells) {
    std::string grid = SOLVED_CELLS;
    for (auto [r, c] : cells) grid[r * GRID_SIZE + c] = '0';
    return grid;
}

// Only row 0 to fill, one candidate a cell: 73 steps (about 4.4 s), all in
// row 0 but the last, which passes through the bottom-right cell.
const std::string ROW_ZERO =
    puzzle_without({{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}});

std::string picture_row(const std::string& cells, int r) {
    std::string text;
    for (int c = 0; c < GRID_SIZE; ++c) {
        if (c > 0) text += ' ';
        text += cells[r * GRID_SIZE + c];
    }
    return text;
}

bool is_hex8(const std::string& text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) return false;
    return true;
}

// A run-time error report from its first line on: "Runtime error N at 0xH",
// the location again, the stack lines, an empty line. Every address lies in
// EXE's code, and the location and the stack lines name FUNCTIONS in turn:
// the failing one, its callers, and last the one that calls the main program.
testing::AssertionResult full_report(const std::vector<std::string>& lines, unsigned number,
                                     const std::string& exe,
                                     const std::vector<std::string>& functions) {
    auto failure = [&lines](const std::string& why) {
        std::string all;
        for (const auto& line : lines) all += "\n  |" + line + "|";
        return testing::AssertionFailure() << why << "; the report:" << all;
    };
    const std::string head = "Runtime error " + std::to_string(number) + " at 0x";
    if (lines.size() < 3) return failure("too short");
    if (lines[0].rfind(head, 0) != 0 || !is_hex8(lines[0].substr(head.size())))
        return failure("first line");
    std::string location = lines[0].substr(head.size());
    if (lines[1] != "  0x" + location) return failure("the location line");
    if (!lines.back().empty()) return failure("no empty last line");
    harness::ImageSymbols symbols(exe);
    if (symbols.empty()) return failure("no symbols in " + exe);
    std::vector<std::string> named;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        if (lines[i].rfind("  0x", 0) != 0 || !is_hex8(lines[i].substr(4)))
            return failure("stack line " + std::to_string(i));
        unsigned long long address = std::stoull(lines[i].substr(4), nullptr, 16);
        if (!symbols.in_code(address))
            return failure("address " + lines[i].substr(4) + " outside the code");
        named.push_back(symbols.function_at(address));
    }
    if (named != functions) {
        std::string got;
        for (const auto& name : named) got += " " + name;
        return failure("the addresses name" + got);
    }
    return testing::AssertionSuccess();
}

// The report's lines on the screen: from its first row down to the first
// empty row, which is its last line. Without a report, the whole screen down
// to its last text, for the failure message.
std::vector<std::string> report_on_screen(const ConsoleRun& run) {
    std::vector<CHAR_INFO> cells = run.screen();
    std::vector<std::string> rows(run.height());
    for (int y = 0; y < run.height(); ++y) rows[y] = ConsoleRun::row_of(cells, run.width(), y);
    for (size_t first = 0; first < rows.size(); ++first) {
        if (rows[first].rfind("Runtime error ", 0) != 0) continue;
        size_t end = first;
        while (end < rows.size() && !rows[end].empty()) ++end;
        return {rows.begin() + first, rows.begin() + std::min(end + 1, rows.size())};
    }
    while (!rows.empty() && rows.back().empty()) rows.pop_back();
    return rows;
}

std::vector<std::string> report_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = text.find("Runtime error ");
    if (start == std::string::npos) return lines;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string in_quotes(const std::string& path) {
    return "\"" + path + "\"";
}

// Earlier output: ROWS lines of WIDTH characters, as a few directory
// listings leave them.
bool print_lines(HANDLE out, int rows, int width) {
    std::string text;
    for (int r = 0; r < rows; ++r)
        text += std::string(width, static_cast<char>('a' + r % 26)) + "\r\n";
    DWORD written = 0;
    return WriteConsoleA(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// A prompt at PROMPT_ROW, the window scrolled down to it.
bool prompt_far_down(HANDLE out) {
    const SMALL_RECT window{0, PROMPT_ROW, TALL_WIDTH - 1, PROMPT_ROW + WINDOW_ROWS - 1};
    return SetConsoleCursorPosition(out, COORD{0, PROMPT_ROW}) &&
           SetConsoleWindowInfo(out, TRUE, &window);
}

// The console calls of PROCESS, counted by the benchmark's counter loaded into it.
const ConsoleCounts* count_calls(HANDLE process) {
    if (!harness::load_library(process, CALL_COUNTER)) return nullptr;
    HANDLE counts =
        OpenFileMappingA(FILE_MAP_READ, FALSE, console_counts_name(GetProcessId(process)).c_str());
    return counts == nullptr ? nullptr
                             : static_cast<const ConsoleCounts*>(MapViewOfFile(
                                   counts, FILE_MAP_READ, 0, 0, sizeof(ConsoleCounts)));
}

LONG64 all_calls(const ConsoleCounts& counts) {
    LONG64 calls = 0;
    for (int i = 0; i < counts.functions; ++i) calls += counts.calls[i];
    return calls;
}

// The column of row 0 whose cell is highlighted, or -1.
int highlighted_column(const std::vector<CHAR_INFO>& row) {
    for (size_t x = 0; x < row.size(); ++x)
        if (row[x].Attributes == HIGHLIGHT) return static_cast<int>(x);
    return -1;
}

class Console : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(scratch.dir().empty());
        DeleteFileA(PUZZLE_PATH.c_str());
    }
    void TearDown() override { DeleteFileA(PUZZLE_PATH.c_str()); }

    harness::Start program(const std::string& stdout_path = "") const {
        harness::Start start;
        start.command_line = in_quotes(SUDOKU2);
        start.cwd = scratch.dir();
        start.stdout_path = stdout_path;
        return start;
    }
    std::string out_path() const { return scratch.path("out.txt"); }
    std::string stdout_path() const { return scratch.path("stdout.txt"); }
    void start_on(const std::string& puzzle, const std::string& stdout_path = "") {
        start_with(puzzle, program(stdout_path));
    }
    void start_with(const std::string& puzzle, const harness::Start& start) {
        ASSERT_TRUE(harness::write_file(PUZZLE_PATH, puzzle_text(parse_grid(puzzle))));
        ASSERT_TRUE(run.start(start)) << GetLastError();
    }
    bool banner_shown() {
        return run.wait_for([](const ConsoleRun& r) { return r.row(BANNER_ROW + 2) == BANNER[2]; });
    }
    bool searching() const { return run.row(BANNER_ROW).empty(); }
    // Rows FIRST..8 of the picture are those of PUZZLE.
    bool picture_from(const std::string& puzzle, int first) const {
        for (int r = first; r < PICTURE_ROWS; ++r)
            if (run.row(r) != picture_row(puzzle, r)) return false;
        return true;
    }
    void enter_and_expect_solutions(const std::string& puzzle) {
        ASSERT_TRUE(run.key(VK_RETURN, SCAN_ENTER, '\r'));
        DWORD status = 1;
        ASSERT_TRUE(run.wait_exit(status));
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(harness::read_file(out_path()),
                  solution_block(reference_search(parse_grid(puzzle)).solutions.at(0)));
        EXPECT_EQ(run.input_mode(), run.input_mode_at_start());
    }
    void wait_echo(const std::string& text) {
        EXPECT_TRUE(run.wait_for([&text](const ConsoleRun& r) { return r.row(ECHO_ROW) == text; },
                                 KEY_ECHO_MS))
            << "echo row: |" << run.row(ECHO_ROW) << "| expected |" << text << "|";
    }

    harness::Scratch scratch;
    ConsoleRun run;
};

TEST_F(Console, LastPictureBannerEditedLineEnterAndSolutions) {
    // Two empty cells: the last step tries 9 at (0, 2), on the grid as received.
    const std::string puzzle = puzzle_without({{0, 2}, {4, 4}});
    harness::Start start = program();
    // Where the grid goes, a prompt left in reverse video: every cell below
    // must come out in the picture's own colours.
    start.prepare = [](HANDLE out) {
        DWORD done = 0;
        return FillConsoleOutputAttribute(out, REVERSE_GREY, 3 * harness::DEFAULT_WIDTH,
                                          COORD{0, 0}, &done) != 0;
    };
    start_with(puzzle, start);
    ASSERT_TRUE(banner_shown()) << "row 0: " << run.row(0);

    std::vector<CHAR_INFO> cells = run.screen();
    std::string wrong_colours;
    for (int r = 0; r < PICTURE_ROWS; ++r) {
        EXPECT_EQ(ConsoleRun::row_of(cells, run.width(), r), picture_row(puzzle, r)) << r;
        for (int x = 0; x < run.width(); ++x) {
            // The examined cell's digit and the space after it, columns 5-6.
            bool examined = r == 0 && (x == 4 || x == 5);
            WORD attribute = cells[r * run.width() + x].Attributes;
            if (attribute != (examined ? HIGHLIGHT : PLAIN)) {
                char place[32];
                std::snprintf(place, sizeof place, " (%d,%d)=0x%02X", x + 1, r + 1, attribute);
                wrong_colours += place;
            }
        }
    }
    EXPECT_EQ(wrong_colours, "") << "cells (column,row)=attribute in another colour";
    EXPECT_EQ(ConsoleRun::row_of(cells, run.width(), PICTURE_ROWS), "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ConsoleRun::row_of(cells, run.width(), BANNER_ROW + i), BANNER[i]);
    COORD cursor = run.cursor();
    EXPECT_EQ(cursor.X, 0);
    EXPECT_EQ(cursor.Y, ECHO_ROW);

    ASSERT_TRUE(run.type("hello"));
    wait_echo("hello");
    ASSERT_TRUE(run.key(VK_ESCAPE, SCAN_ESC, '\x1b'));
    wait_echo("");
    ASSERT_TRUE(run.type("abc"));
    ASSERT_TRUE(run.key(VK_LEFT, SCAN_LEFT, 0, ENHANCED_KEY));
    ASSERT_TRUE(run.type("X"));
    wait_echo("abX");
    // Backspace erases only at the end of the line; typing overwrites.
    ASSERT_TRUE(run.key(VK_HOME, SCAN_HOME, 0, ENHANCED_KEY));
    ASSERT_TRUE(run.key(VK_BACK, SCAN_BACKSPACE, '\b'));
    ASSERT_TRUE(run.type("Z"));
    wait_echo("ZbX");
    ASSERT_TRUE(run.key(VK_END, SCAN_END, 0, ENHANCED_KEY));
    ASSERT_TRUE(run.key(VK_BACK, SCAN_BACKSPACE, '\b'));
    wait_echo("Zb");
    ASSERT_TRUE(run.key(VK_RETURN, SCAN_ENTER, '\r'));

    DWORD status = 1;
    ASSERT_TRUE(run.wait_exit(status));
    EXPECT_EQ(status, 0u);
    const std::vector<Grid> solutions = reference_search(parse_grid(puzzle)).solutions;
    ASSERT_EQ(solutions.size(), 1u);
    EXPECT_EQ(harness::read_file(out_path()), solution_block(solutions[0]));
}

TEST_F(Console, MissingPuzzleFileGives2AndTheReport) {
    ASSERT_TRUE(run.start(program()));
    DWORD status = 0;
    ASSERT_TRUE(run.wait_exit(status));
    EXPECT_EQ(status, 2u);
    EXPECT_TRUE(
        full_report(report_on_screen(run), 2, SUDOKU2, {"BEOLVAS", "MAINPROGRAM", "EXE_ENTRY"}));
    EXPECT_FALSE(harness::file_exists(out_path()));
    EXPECT_EQ(run.input_mode(), run.input_mode_at_start());
}

TEST_F(Console, SolutionsFileThatIsADirectoryGives5AndTheReport) {
    ASSERT_TRUE(CreateDirectoryA(out_path().c_str(), nullptr));
    start_on(SOLVED_CELLS);
    DWORD status = 0;
    ASSERT_TRUE(run.wait_exit(status));
    EXPECT_EQ(status, 5u);
    EXPECT_TRUE(full_report(report_on_screen(run), 5, SUDOKU2, {"MAINPROGRAM", "EXE_ENTRY"}));
}

TEST_F(Console, StandardOutputInAFileLeavesThePictureOnTheConsole) {
    start_on(SOLVED_CELLS, stdout_path());
    ASSERT_TRUE(banner_shown()) << "row 0: " << run.row(0);
    EXPECT_EQ(run.row(0), picture_row(SOLVED_CELLS, 0));
    ASSERT_TRUE(run.key(VK_RETURN, SCAN_ENTER, '\r'));
    DWORD status = 1;
    ASSERT_TRUE(run.wait_exit(status));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(harness::read_file(stdout_path()), "");
    EXPECT_EQ(harness::read_file(out_path()), solution_block(SOLVED));
}

TEST_F(Console, ReportGoesToStandardOutputInAFileNotOntoTheScreen) {
    ASSERT_TRUE(run.start(program(stdout_path())));
    DWORD status = 0;
    ASSERT_TRUE(run.wait_exit(status));
    EXPECT_EQ(status, 2u);
    EXPECT_TRUE(full_report(report_lines(harness::read_file(stdout_path())), 2, SUDOKU2,
                            {"BEOLVAS", "MAINPROGRAM", "EXE_ENTRY"}));
    std::vector<std::string> screen = report_on_screen(run);
    EXPECT_TRUE(screen.empty()) << "row 1: " << screen[0];
}

TEST_F(Console, TallConsoleFullOfEarlierOutput) {
    harness::Start start = program();
    start.width = TALL_WIDTH;
    start.height = TALL_HEIGHT;
    // The first picture clears a rectangle 79 wide and 150 tall.
    start.prepare = [](HANDLE out) { return print_lines(out, 150, 79); };
    start_with(SOLVED_CELLS, start);
    ASSERT_TRUE(banner_shown()) << "row 0: " << run.row(0);
    EXPECT_TRUE(picture_from(SOLVED_CELLS, 0)) << "row 0: " << run.row(0);
    EXPECT_EQ(run.row(149), "") << "the earlier output is cleared";
    EXPECT_TRUE(harness::load_library(run.process(), harness::beside_this_program(HEAP_CHECK)))
        << "the program's heap does not validate";
    enter_and_expect_solutions(SOLVED_CELLS);
}

TEST_F(Console, PicturesFollowOneAnotherDuringTheSearch) {
    start_on(ROW_ZERO);
    // The highlight walks along row 0 while the search runs.
    std::vector<int> seen;
    DWORD started = GetTickCount();
    while (GetTickCount() - started < LONG_WAIT_MS && searching()) {
        const int x = highlighted_column(run.screen(0, 1));
        if (x >= 0 && std::find(seen.begin(), seen.end(), x) == seen.end()) seen.push_back(x);
        Sleep(10);
    }
    EXPECT_GE(seen.size(), 4u) << "distinct highlighted columns seen before the banner";
    ASSERT_TRUE(banner_shown());
    enter_and_expect_solutions(ROW_ZERO);
}

TEST_F(Console, LineFromAPipeOrAFileEndsAtItsLineFeedOrItsEnd) {
    // A pipe left open (only the line feed can end the wait) or closed, or
    // an empty file; what the echo shows.
    struct Input {
        const char* bytes;
        bool close;
        const char* echo;
    };
    for (const Input& input :
         {Input{"abc\nxyz", false, "abc"}, Input{"", true, ""}, Input{nullptr, false, ""}}) {
        harness::Start start = program();
        start.input_pipe = input.bytes != nullptr;
        if (input.bytes == nullptr) start.stdin_path = scratch.path("empty.txt");
        ASSERT_TRUE(harness::write_file(scratch.path("empty.txt"), ""));
        start_with(SOLVED_CELLS, start);
        ASSERT_TRUE(input.bytes == nullptr || run.send(input.bytes));
        if (input.close) run.close_input();
        DWORD status = 1;
        ASSERT_TRUE(run.wait_exit(status)) << "echo row: |" << run.row(ECHO_ROW) << "|";
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(run.row(ECHO_ROW), input.echo);
        EXPECT_EQ(harness::read_file(out_path()), solution_block(SOLVED));
    }
}

// What takes part of the picture away, mid-search or at the final line with
// "hello" typed, on a console of the given buffer and window rows.
using Act = std::function<bool(ConsoleRun&, const ConsoleCounts&)>;
struct Damage {
    const char* name;
    short width, height, window_rows;
    bool final_line;
    Act act;
    std::function<bool(HANDLE out)> prepare = nullptr;
};

// The window moved to row TOP with ROWS rows (0: as many as it has).
bool set_window(ConsoleRun& run, SHORT top, SHORT rows = 0) {
    const SMALL_RECT now = run.window();
    const SHORT bottom = top + (rows > 0 ? rows - 1 : now.Bottom - now.Top);
    const SMALL_RECT moved{now.Left, top, now.Right, bottom};
    return SetConsoleWindowInfo(run.output(), TRUE, &moved);
}

class Heals : public Console, public testing::WithParamInterface<Damage> {
  protected:
    // The picture (and the banner and the echo) all there, the console's
    // cursor on the line under the grid (behind the echo), the window on it
    // from the top if it can.
    bool whole() const {
        const bool final_line = GetParam().final_line;
        const COORD at = run.cursor();
        const SMALL_RECT w = run.window();
        bool shown = picture_from(ROW_ZERO, 1) && at.X == (final_line ? 5 : 0) &&
                     at.Y == (final_line ? ECHO_ROW : BANNER_ROW) &&
                     w.Top == std::max(0, at.Y - (w.Bottom - w.Top));
        for (int i = 0; final_line && i < 3; ++i)
            shown = shown && run.row(BANNER_ROW + i) == BANNER[i];
        return shown && (!final_line || run.row(ECHO_ROW) == "hello");
    }
};

TEST_P(Heals, WhatTheConsoleLostComesBackAtTheCostOfAFewSteps) {
    const Damage& damage = GetParam();
    harness::Start start = program();
    start.width = damage.width;
    start.height = damage.height;
    start.window_rows = damage.window_rows;
    start.prepare = damage.prepare;
    start_with(ROW_ZERO, start);
    const ConsoleCounts* counts = count_calls(run.process());
    ASSERT_NE(counts, nullptr);
    ASSERT_TRUE(run.wait_for([this](const ConsoleRun&) { return picture_from(ROW_ZERO, 1); }));
    if (damage.final_line) {
        ASSERT_TRUE(banner_shown());
        ASSERT_TRUE(run.type("hello"));
        wait_echo("hello");
    }
    const LONG64 calls = all_calls(*counts);
    ASSERT_TRUE(damage.act(run, *counts));
    EXPECT_TRUE(run.wait_for([this](const ConsoleRun&) { return whole(); }, CATCH_UP_MS))
        << "row 8: " << run.row(PICTURE_ROWS - 1) << ", window from row " << run.window().Top
        << ", cursor at " << run.cursor().X << "," << run.cursor().Y;
    EXPECT_TRUE(damage.final_line || searching()) << "the search is over";
    // Repaints cost the rows in use, not the buffer's 9001.
    EXPECT_LT(all_calls(*counts) - calls, MAX_CALLS_TO_HEAL);
    ASSERT_TRUE(banner_shown());
    enter_and_expect_solutions(ROW_ZERO);
}

const Act NOTHING = [](ConsoleRun&, const ConsoleCounts&) { return true; };
const Act SCROLL_AWAY = [](ConsoleRun& r, const ConsoleCounts&) {
    return set_window(r, SCROLLED_ROW);
};

INSTANTIATE_TEST_SUITE_P(
    Console, Heals,
    testing::Values(
        Damage{"BufferOutAndBack", 80, 25, 0, false,
               [](ConsoleRun& r, const ConsoleCounts&) {
                   return r.resize(80, 5) && r.resize(80, 25);
               }},
        Damage{"BufferOutAndBackAtTheFinalLine", 80, 25, 0, true,
               [](ConsoleRun& r, const ConsoleCounts&) {
                   return r.resize(80, 12) && r.resize(80, 25);
               }},
        Damage{"TextOverRow5", 120, 30, 0, false,
               [](ConsoleRun& r, const ConsoleCounts&) {
                   DWORD n = 0;
                   return WriteConsoleOutputCharacterA(r.output(), "XXXXX", 5, COORD{0, 5}, &n);
               }},
        Damage{"WindowResizedTenTimes", TALL_WIDTH, TALL_HEIGHT, WINDOW_ROWS, false,
               [](ConsoleRun& r, const ConsoleCounts& c) {
                   for (int i = 0; i < 10; ++i) {
                       const LONG64 steps = c.sleeps + STEPS_PER_CHANGE;
                       if (!set_window(r, 0, i % 2 == 0 ? SHORT_WINDOW_ROWS : WINDOW_ROWS) ||
                           !r.wait_for([&](const ConsoleRun&) { return c.sleeps >= steps; }))
                           return false;
                   }
                   return true;
               }},
        Damage{"WindowScrolledAway", TALL_WIDTH, TALL_HEIGHT, WINDOW_ROWS, false, SCROLL_AWAY},
        Damage{"EightRowWindowScrolledAway", 80, 200, 8, false, SCROLL_AWAY},
        Damage{"PromptFarDown", TALL_WIDTH, TALL_HEIGHT, WINDOW_ROWS, false, NOTHING,
               prompt_far_down}),
    [](const testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// Ctrl+C typed on the keyboard, or the event raised directly; the console's
// input mode as a user's earlier program may leave it.
struct CtrlC {
    const char* name;
    bool typed;
    DWORD input_mode_off;
};

class CtrlCMidSearch : public Console, public testing::WithParamInterface<CtrlC> {};

TEST_P(CtrlCMidSearch, KeepsWholeSolutionsAndEnds) {
    // Eight solutions, a few seconds apart at 60 ms a step.
    const std::string puzzle = puzzle_without({{1, 7},
                                               {1, 8},
                                               {6, 7},
                                               {6, 8},
                                               {2, 4},
                                               {2, 5},
                                               {5, 4},
                                               {5, 5},
                                               {0, 3},
                                               {0, 4},
                                               {3, 3},
                                               {3, 4}});
    const std::vector<Grid> solutions = reference_search(parse_grid(puzzle)).solutions;
    ASSERT_EQ(solutions.size(), 8u);
    harness::Start start = program();
    start.prepare = [this](HANDLE) {
        return SetConsoleMode(run.input(), run.input_mode() & ~GetParam().input_mode_off);
    };
    start_with(puzzle, start);
    // Each solution reaches the file as it is found: Ctrl+C comes after two.
    const auto two_blocks = static_cast<int64_t>(2 * BLOCK_BYTES);
    DWORD started = GetTickCount();
    while (harness::file_size(out_path()) < two_blocks && GetTickCount() - started < LONG_WAIT_MS)
        Sleep(50);
    ASSERT_GE(harness::file_size(out_path()), two_blocks);
    ASSERT_TRUE(GetParam().typed ? run.ctrl_c_key() : run.ctrl_c_event()) << GetLastError();
    DWORD status = 0;
    ASSERT_TRUE(run.wait_exit(status)) << "the program did not end";
    EXPECT_EQ(status, harness::STATUS_CTRL_C_EXIT);
    EXPECT_EQ(run.input_mode(), run.input_mode_at_start());
    std::string out = harness::read_file(out_path());
    ASSERT_EQ(out.size() % BLOCK_BYTES, 0u) << out.size();
    ASSERT_GE(out.size(), 2 * BLOCK_BYTES);
    for (size_t i = 0; i < out.size() / BLOCK_BYTES; ++i)
        EXPECT_EQ(out.substr(i * BLOCK_BYTES, BLOCK_BYTES), solution_block(solutions[i])) << i;
}

INSTANTIATE_TEST_SUITE_P(Console, CtrlCMidSearch,
                         testing::Values(CtrlC{"Typed", true, 0}, CtrlC{"Event", false, 0},
                                         CtrlC{"TypedInAnyMode", true, ENABLE_PROCESSED_INPUT}),
                         [](const testing::TestParamInfo<CtrlC>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Console, NoConsoleAtAllGivesTheMessageAnd1) {
    ASSERT_TRUE(harness::write_file(PUZZLE_PATH, puzzle_text(SOLVED)));
    harness::Detached result = harness::run_detached(program());
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.status, 1u);
    EXPECT_TRUE(result.err == "No way to get the console handle\r\n" ||
                result.err == "No way to get console screen buffer info\r\n")
        << "|" << result.err << "|";
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(harness::file_exists(out_path()));
}

struct FaultCase {
    const char* kind;
    unsigned number;
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
    *out << fault.kind << " gives " << fault.number;
}

class Fault : public testing::TestWithParam<FaultCase> {};

// The fault program draws nothing: no console, its report into a file.
harness::Detached run_fault(const char* kind) {
    harness::Scratch scratch;
    harness::Start start;
    start.command_line = in_quotes(FAULT_PROGRAM);
    start.cwd = scratch.dir();
    start.env = {{"SUDOKU2_FAULT", kind}};
    return harness::run_detached(start);
}

TEST_P(Fault, GivesItsNumberWithAFullReport) {
    harness::Detached result = run_fault(GetParam().kind);
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.status, GetParam().number);
    // The location of a fault is the faulting instruction itself.
    EXPECT_TRUE(full_report(report_lines(result.out), GetParam().number, FAULT_PROGRAM,
                            {"FAIL_NOW", "MAINPROGRAM", "EXE_ENTRY"}));
}

INSTANTIATE_TEST_SUITE_P(Processor, Fault,
                         testing::Values(FaultCase{"null", 216}, FaultCase{"div0", 200}),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.kind);
                         });

TEST(StackOverflow, Gives202WithAFullReport) {
    harness::Detached result = run_fault("recurse");
    ASSERT_TRUE(result.ended);
    if (harness::under_wine() && result.status == WINE_DIED_STATUS && result.out.empty())
        GTEST_SKIP() << "Wine ended the process at the stack overflow (status 1, no report) "
                        "without handing it to the program";
    EXPECT_EQ(result.status, 202u);
    std::vector<std::string> lines = report_lines(result.out);
    // Into a file the dump stops after 257 stack lines of the endless recursion.
    EXPECT_EQ(lines.size(), 1 + 1 + MAX_FILE_STACK_LINES + 1);
    std::vector<std::string> functions(lines.size() < 2 ? 0 : lines.size() - 2, "RECURSE_FOREVER");
    EXPECT_TRUE(full_report(lines, 202, FAULT_PROGRAM, functions));
}

// The report faults in turn: that fault's own code ends the process.
TEST(FaultInTheReport, EndsWithItsOwnCode) {
    harness::Detached result = run_fault("null-report-faults");
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.status, 0xC0000005u);
}

} // namespace

int main(int argc, char** argv) {
    if (harness::run_console_holder(argc, argv)) return 0;
    testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SUDOKU2_EXE FAULT_PROGRAM_EXE CALL_COUNTER_DLL\n", argv[0]);
        return 2;
    }
    if (harness::output_is_console()) {
        std::fprintf(stderr, "redirect the output (2>&1 | cat): the tests take the console\n");
        return 2;
    }
    SUDOKU2 = harness::windows_path(argv[1]);
    FAULT_PROGRAM = harness::windows_path(argv[2]);
    CALL_COUNTER = harness::windows_path(argv[3]);
    return RUN_ALL_TESTS();
}
