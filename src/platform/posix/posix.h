// What the parts of the POSIX platform share: the terminal behind the
// platform console (screen buffer and drawing, modes, keys) and the signals
// the process acts on.
#pragma once
#include <csignal>
#include <cstdint>

#include "platform/console.h"

namespace plat {

// The base of the numbers in key sequences, sizes from the environment
// and cursor moves.
constexpr int32_t DECIMAL = 10;

// The terminal as a console.
extern const Console TERMINAL_CONSOLE;

// Keys from the terminal, or from a standard input that is a file or a pipe.
uint32_t terminal_pending_events(Handle h);
bool terminal_read_event(Handle h, InputEvent* event);
void terminal_wait_input(Handle h, uint32_t ms);

} // namespace plat

namespace plat::term {

// Clock units of the waits and pauses.
constexpr long MILLIS_PER_SECOND = 1000;
constexpr long NANOS_PER_MILLI = 1000000;

// The attribute the terminal starts with: light grey on black.
constexpr uint8_t START_ATTRIBUTE = 7;

// The buffer's size from the size the terminal reports: a terminal that
// reports none is taken as COLUMNS x LINES when those are set, else as
// 80x25; a huge one is used from its top-left corner, so that memory stays
// bounded whatever a terminal reports.
constexpr int32_t DEFAULT_COLUMNS = 80;
constexpr int32_t DEFAULT_ROWS = 25;
constexpr int32_t MAX_COLUMNS = 512;
constexpr int32_t MAX_ROWS = 512;
constexpr int32_t MAX_CELLS = MAX_COLUMNS * MAX_ROWS;
// The output buffer: an 80x25 screen redrawn with a colour change and a
// three-byte glyph at every cell still goes out in one write.
constexpr int32_t OUTPUT_CAPACITY = 64 * 1024;
struct ScreenSize {
    int32_t width;
    int32_t height;
};
ScreenSize screen_size(uint32_t columns, uint32_t rows, const char* env_columns,
                       const char* env_lines);

// How long input may pause inside a sequence before a lone Esc is taken as the
// Esc key: ESCDELAY milliseconds when that is a number in range, else 50.
constexpr int32_t ESCAPE_WAIT_DEFAULT_MS = 50;
constexpr int32_t ESCAPE_WAIT_MAX_MS = 10000;
int32_t escape_wait_ms(const char* escdelay);

// NO_COLOR turns colour codes off when it is set and not empty.
bool colours_off(const char* no_color);

// Takes the terminal on FD over: its size and modes. The console's cursor
// starts at the top-left corner but stands for nothing until the first
// picture: until then the terminal's cursor stays where it is.
bool attach(int fd);

// True while this process is in the terminal's foreground job: only then may
// it change the terminal's modes, draw on it or read from it without being
// stopped by the kernel.
bool foreground(int fd);

// The terminal's screen (terminal_screen.cpp): the console's cells, what the
// terminal shows of them, and the bytes that bring it up to date.
struct ScreenOptions {
    bool utf8;     // glyphs as UTF-8; else ASCII, '?' for the rest
    bool no_color; // no colour codes; a coloured background shows reversed
    // Where an update's bytes gather before they go out: a static buffer of
    // OUTPUT_CAPACITY unless one is given.
    char* out = nullptr;
    int32_t out_capacity = 0;
};

// Starts drawing on the terminal FD with a blank buffer of SIZE (at most
// MAX_COLUMNS x MAX_ROWS; the buffers are static, so that however large the
// terminal, nothing is taken that could be refused). Nothing is drawn until
// the console writes; the first picture then redraws the terminal whole.
void screen_start(int fd, ScreenSize size, const ScreenOptions& options);
// The terminal drawn on; -1 before the start.
int screen_fd();
bool screen_utf8();
// The buffer's size and the console's cursor.
void screen_info(ScreenInfo* info);
// Forgets what the terminal shows (others used it meanwhile): the next
// update draws the whole picture anew, at the terminal's size as it is then.
void screen_forget();

// The console's cell operations, as the console table calls them.
void set_cursor(Handle h, int32_t x, int32_t y);
void write_cell(Handle h, int32_t x, int32_t y, Cell cell);
void scroll(Handle h, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill);

// What an update does with the terminal's cursor. During a pause nobody
// types, so the cursor is hidden where the drawing left it rather than
// carried back to the console's cursor after every picture; before a key
// wait, another writer or the end it stands at the console's cursor.
enum class Cursor { PARK, LEAVE };

// Brings the terminal up to date in one write. Whether the process is in the
// foreground is asked only when bytes are to go out, after a continue or a
// resize, and while a background job waits to draw.
void present(Cursor cursor = Cursor::PARK);

// Sends what the terminal takes at once of N BYTES and drops the rest, so
// that a terminal that reads nothing never holds up an end or a stop. Safe
// in a signal handler.
void send_now(const char* bytes, int32_t n);

// Another writer is about to write to the terminal: the picture is brought
// up to date first, and the writer's text starts at the console's cursor in
// the terminal's own colours.
void before_foreign_write();

// Gives the terminal back its modes and colours, with its cursor where the
// last update left the console's; safe in a signal handler. The modes are
// set at once, the bytes sent as far as the terminal takes them at once.
// Nothing when the process does not hold the terminal (a background job),
// and never stops the process.
void restore_modes();

// Gives the terminal its modes back for good, and nothing else: what is still
// drawn afterwards draws without taking them again, and restore_modes()
// finishes the job at the end. Safe in a signal handler.
void release_modes();

// Whether the process may draw now. The foreground job (or any user of a
// terminal without jobs) takes the terminal when it does not hold it yet,
// as after a stop and a continue; a background job lets it go.
bool hold_terminal();
// Whether the terminal has the program's modes and picture.
bool holds_terminal();

// Takes the terminal again after the process was stopped and continued:
// the program's modes, and the whole picture drawn anew by the next update.
void take_again();

// Writes to OUT the move that puts the terminal's cursor where the last
// update left the console's (the line below the picture during the search),
// so that what the shell writes after a stop or an end lands below the
// picture; nothing when another writer's text ended last. Safe in a signal
// handler; returns the length.
constexpr int32_t LEAVE_CAPACITY = 24;
int32_t leave_sequence(char* out);

// What the screen sends before another writer's text, and what the end
// sends after the last picture: the terminal's own colours, its cursor shown.
inline constexpr char RESET_COLOURS[] = "\x1b[0m";
inline constexpr char SHOW_CURSOR[] = "\x1b[?25h";

// Waits up to TIMEOUT_MS (0: only looks; below 0: without limit) for input on
// FD. False on a timeout or a signal. Safe in a signal handler.
bool input_within(int fd, int timeout_ms);

} // namespace plat::term

// Signals the process acts on: requests to end it, job control, a resized
// terminal, and the ones it ignores. Everything that can block or loop for
// long asks act_on_pending() so that a request to end is never kept waiting.
namespace plat::sig {

enum class Disposition : uint8_t {
    KEEP,    // left as the process found it
    DEFER,   // ends the process at the next safe point, solutions kept
    END_NOW, // gives the terminal back and ends the process at once
    IGNORE,  // always ignored: a failed call reports it instead
    SUSPEND, // gives the terminal back, then stops
    RESUME,  // takes the terminal again after a stop
    RESIZE,  // the terminal changed size
};

// What the process does with SIG. Every signal whose default action ends
// the process and that has no treatment of its own ends it like SIGQUIT
// (END_NOW); the fault signals are the fault handler's, and the C library's
// own real-time signals are left alone. A signal ignored at start (nohup, a
// script's trap '') stays ignored, except those that are always ignored.
Disposition disposition(int sig, bool ignored_at_start);

// Installs the handlers; HOOK runs before a deferred request ends the process.
void install(void (*hook)());

// A deferred request not yet acted on (its signal number), 0 if none.
extern volatile sig_atomic_t PENDING;
// Set when the process was continued after a stop; cleared by the terminal.
extern volatile sig_atomic_t CONTINUED;
// Set when the terminal was resized; cleared by the terminal.
extern volatile sig_atomic_t RESIZED;

// Ends the process by a pending request: runs the hook, gives the terminal
// back and raises the signal with its default action. Returns at once when
// nothing is pending, or when the process is already ending by one.
void act_on_pending();

// Called when a call failed with EINTR: acts on a pending request and tells
// whether the call should be tried again (not once the process has started
// ending by a request).
bool retry_after_interrupt();

} // namespace plat::sig
