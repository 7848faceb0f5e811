// A test harness on the Win32 console: starts a program on a fresh console of
// its own size, reads that console's screen buffer back (characters and
// attributes), types key records into it, and returns the exit status. It
// also runs a program with no console at all, and keeps scratch folders.
// Only Win32 calls: for Windows, run here under Wine.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace harness {

constexpr short DEFAULT_WIDTH = 80;
constexpr short DEFAULT_HEIGHT = 25;
constexpr DWORD DEFAULT_TIMEOUT_MS = 20000;
// What a process ended by Ctrl+C exits with on Windows.
constexpr DWORD STATUS_CTRL_C_EXIT = 0xC000013A;

// The argument that makes the harness's own program a console holder. Every
// program built on the harness calls this first thing in main: when it
// returns true the process was a holder and must end.
bool run_console_holder(int argc, char** argv);

// A Unix path (as CMake passes them) in the form Win32 calls take: Wine maps
// it to its drive letter; a path that is already a Windows one is kept.
std::string windows_path(const std::string& path);

// True when this process writes to a console: the harness gives it up for
// the program's, and what it writes there is lost.
bool output_is_console();

// True under Wine; what Wine cannot do is skipped there with the reason.
bool under_wine();

// A file in the folder of the running program.
std::string beside_this_program(const char* name);

// Loads the DLL at PATH into PROCESS (its DllMain runs there); false if
// the load failed or DllMain refused.
bool load_library(HANDLE process, const std::string& path);

// A new, empty folder under the temporary folder, removed with its content.
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "\\" + name; }

  private:
    std::string dir_;
};

bool write_file(const std::string& path, std::string_view bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// The size of a file without opening it (it may be held exclusively); -1 if none.
long long file_size(const std::string& path);

struct Start {
    std::string command_line;
    std::string cwd;
    short width = DEFAULT_WIDTH;
    short height = DEFAULT_HEIGHT;
    short window_rows = 0; // the window's rows; 0: as many as the buffer's
    // When set, the child's standard output goes to this file instead of the console.
    std::string stdout_path;
    // NAME=VALUE pairs added to the child's environment.
    std::vector<std::pair<std::string, std::string>> env;
    // Runs on the fresh console before the program starts: earlier output,
    // colours, a scrolled window, as a user's prompt leaves them.
    std::function<bool(HANDLE out)> prepare;
    // The child's standard input is a pipe that ConsoleRun::send feeds and
    // keeps open until the run ends or ConsoleRun::close_input.
    bool input_pipe = false;
    // When set, the child's standard input is this file.
    std::string stdin_path;
};

// One program on a console of its own. The harness process attaches to that
// console, so only one run can be open at a time.
class ConsoleRun {
  public:
    ConsoleRun() = default;
    ~ConsoleRun();
    ConsoleRun(const ConsoleRun&) = delete;
    ConsoleRun& operator=(const ConsoleRun&) = delete;

    // A fresh console of the given size, then the program on it.
    bool start(const Start& start);

    // ROWS rows of the screen buffer from TOP (all of them by default), row by row.
    std::vector<CHAR_INFO> screen(int top = 0, int rows = -1) const;
    // Row Y's characters with the trailing blanks removed.
    std::string row(int y) const;
    static std::string row_of(const std::vector<CHAR_INFO>& cells, short width, int y);
    COORD cursor() const;
    // The part of the buffer that the console's window shows.
    SMALL_RECT window() const;
    // New buffer size and window rows (0: the buffer's), the window at the top.
    bool resize(short width, short height, short window_rows = 0);
    // Bytes into the input pipe (Start::input_pipe), and its end.
    bool send(std::string_view bytes);
    void close_input();
    HANDLE output() const { return out_; }
    HANDLE input() const { return in_; }
    // The console's input mode now, and as it was when the program started.
    DWORD input_mode() const;
    DWORD input_mode_at_start() const { return input_mode_at_start_; }
    short width() const { return width_; }
    short height() const { return height_; }

    // Polls the screen until PREDICATE holds; false after TIMEOUT_MS.
    bool wait_for(const std::function<bool(const ConsoleRun&)>& predicate,
                  DWORD timeout_ms = DEFAULT_TIMEOUT_MS) const;

    // One key pressed and released: virtual key, scan code, character, control state.
    bool key(WORD virtual_key, WORD scan_code, char character, DWORD control_state = 0);
    bool type(std::string_view text);
    // Ctrl+C as a user types it: a key record that the console, processing
    // its input, turns into a Ctrl+C event for every process on it.
    bool ctrl_c_key();
    // The Ctrl+C event raised directly for every process on the console.
    bool ctrl_c_event();

    // The exit status, or false if the program has not ended within TIMEOUT_MS.
    bool wait_exit(DWORD& status, DWORD timeout_ms = DEFAULT_TIMEOUT_MS);
    HANDLE process() const { return process_; }

  private:
    bool fresh_console(short width, short height, short window_rows);
    void finish();

    HANDLE process_ = nullptr;
    HANDLE holder_ = nullptr;
    HANDLE out_ = INVALID_HANDLE_VALUE;
    HANDLE in_ = INVALID_HANDLE_VALUE;
    HANDLE input_pipe_ = INVALID_HANDLE_VALUE;
    short width_ = 0;
    short height_ = 0;
    DWORD input_mode_at_start_ = 0;
};

struct Detached {
    bool ended = false;
    DWORD status = 0;
    std::string out;
    std::string err;
};

// The program with no console at all: a detached process whose standard
// output and error go to files and whose standard input is the null device.
Detached run_detached(const Start& start, DWORD timeout_ms = DEFAULT_TIMEOUT_MS);

} // namespace harness
