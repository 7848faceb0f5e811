// The Win32 console as the platform console. Cells are written into a copy
// of the screen buffer; before every pause, key wait, other output and the
// end, the cells that differ from what the console holds go out in one
// WriteConsoleOutputA of their bounding rectangle, so a search step costs
// about one console call rather than one per cell.
//
// A step must not cost more on a tall buffer (9001 rows by default): the
// cell buffer marks what each write changed, so only that is compared, and a
// clear skips rows that are already blank in its attribute.
//
// What the console loses is drawn again. Now and then an update reads back
// the rows in use (those written since the last clear) and treats every cell
// there that the console holds otherwise than drawn as changed: rows a resize
// cut off, text another program wrote over the picture. A resize of the
// buffer, reported in the console's input, is looked at at once.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/internal/cellbuffer.h"
#include "platform/internal/hooks.h"
#include "platform/internal/transfer.h"
#include "platform/win32/win32.h"

namespace plat {

using win32::native;

namespace {

constexpr DWORD OSVERSIONINFOA_SIZE = 148;
constexpr char CONSOLE_OUTPUT_NAME[] = "CONOUT$";
constexpr uint8_t SPACE = ' ';

// Where a run of cursor moves leaves the console's window along one axis. A
// classic console moves its window just far enough to show the cursor, so
// each move clamps the window's first row (or column) T into
// [at - extent + 1, at]; clamps compose into one, T -> min(max(T, lo), hi).
struct Follow {
    int32_t lo;
    int32_t hi;
};

constexpr Follow STAY{INT32_MIN, INT32_MAX};

Follow follow(Follow f, int32_t at, int32_t extent) {
    const int32_t lo = at - std::max(extent, 1) + 1;
    return Follow{std::clamp(f.lo, lo, at), std::clamp(f.hi, lo, at)};
}

int32_t apply(Follow f, int32_t t) {
    return std::min(std::max(t, f.lo), f.hi);
}

struct Screen {
    bool attached;
    HANDLE out;
    CellBuffer buffer; // what the program has drawn; its size is the buffer's
                       // at start-up
    CHAR_INFO* front;  // what the console holds, with all 16 attribute bits
    int32_t cursor_x;  // the console device's cursor
    int32_t cursor_y;
    int32_t shown_x; // where the console's cursor stands; -1 if unknown
    int32_t shown_y;
    bool foreign_write; // another writer moved the console's cursor last, and
                        // the device has not placed its cursor since
    COORD size;         // the console's buffer and window as last seen
    SMALL_RECT window;
    Follow follow_x; // the cursor moves since the last update
    Follow follow_y;
    DWORD looked_at;
    bool look_due; // the console reported a resize: look at the next update
};

Screen SCREEN;
// Where a piece is staged for its console call: one transfer at most.
CHAR_INFO STAGING[CELLS_PER_TRANSFER];

size_t at(int32_t x, int32_t y) {
    return static_cast<size_t>(y) * static_cast<size_t>(SCREEN.buffer.width) +
           static_cast<size_t>(x);
}

bool same(const Cell& b, const CHAR_INFO& f) {
    return static_cast<uint8_t>(f.Char.AsciiChar) == b.ch && f.Attributes == b.attr;
}

COORD extent(const Rect& r) {
    return COORD{static_cast<SHORT>(r.right - r.left + 1),
                 static_cast<SHORT>(r.bottom - r.top + 1)};
}

SMALL_RECT region(const Rect& r) {
    return SMALL_RECT{static_cast<SHORT>(r.left), static_cast<SHORT>(r.top),
                      static_cast<SHORT>(r.right), static_cast<SHORT>(r.bottom)};
}

// Reads the console's cells, so that what the program does not redraw
// stays as it was and a scroll moves what the console really shows.
void read_console() {
    const Rect all{0, 0, SCREEN.buffer.width - 1, SCREEN.buffer.height - 1};
    for (Rect p = first_transfer(all); p.top <= all.bottom; p = next_transfer(all, p)) {
        SMALL_RECT read = region(p);
        if (ReadConsoleOutputA(SCREEN.out, STAGING, extent(p), COORD{0, 0}, &read) == 0) continue;
        const int32_t w = p.right - p.left + 1;
        for (int32_t y = p.top; y <= p.bottom; ++y)
            std::memcpy(&SCREEN.front[at(p.left, y)],
                        &STAGING[static_cast<ptrdiff_t>(y - p.top) * w],
                        static_cast<size_t>(w) * sizeof(CHAR_INFO));
    }
}

void before_console_write(Handle) {
    win32::present();
    // The other writer's text moves the console's cursor: it stays behind
    // that text until the device places its cursor again.
    SCREEN.foreign_write = true;
}

void end_of_process() {
    win32::present();
}

void attach(HANDLE h, const CONSOLE_SCREEN_BUFFER_INFO& csbi) {
    SCREEN.out = h;
    const int32_t width = csbi.dwSize.X;
    const int32_t height = csbi.dwSize.Y;
    const auto cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    SCREEN.buffer =
        CellBuffer{new Cell[cells], new Cell[cells], new RowMarks[height], width, height};
    SCREEN.front = new CHAR_INFO[cells];
    for (size_t i = 0; i < cells; ++i) {
        SCREEN.front[i].Char.AsciiChar = static_cast<CHAR>(SPACE);
        SCREEN.front[i].Attributes = 0;
    }
    read_console();
    for (size_t i = 0; i < cells; ++i)
        SCREEN.buffer.cells[i] = Cell{static_cast<uint8_t>(SCREEN.front[i].Char.AsciiChar),
                                      static_cast<uint8_t>(SCREEN.front[i].Attributes)};
    cells_forget_rows(SCREEN.buffer);
    SCREEN.cursor_x = csbi.dwCursorPosition.X;
    SCREEN.cursor_y = csbi.dwCursorPosition.Y;
    SCREEN.shown_x = SCREEN.cursor_x;
    SCREEN.shown_y = SCREEN.cursor_y;
    SCREEN.size = csbi.dwSize;
    SCREEN.window = csbi.srWindow;
    SCREEN.follow_x = SCREEN.follow_y = STAY;
    SCREEN.looked_at = GetTickCount();
    SCREEN.attached = true;
    at_process_end(end_of_process);
    BEFORE_TERMINAL_WRITE = before_console_write;
    win32::take_console_input();
}

// Reads back the rows in use, as far as the console still has them: a cell
// there that the console holds otherwise than drawn goes out again.
void read_back() {
    const Rect rows{0, SCREEN.buffer.used_top,
                    std::min<int32_t>(SCREEN.buffer.width, SCREEN.size.X) - 1,
                    std::min<int32_t>(SCREEN.buffer.used_bottom, SCREEN.size.Y - 1)};
    if (rows.right < 0 || rows.top > rows.bottom) return;
    for (Rect p = first_transfer(rows); p.top <= rows.bottom; p = next_transfer(rows, p)) {
        SMALL_RECT read = region(p);
        if (ReadConsoleOutputA(SCREEN.out, STAGING, extent(p), COORD{0, 0}, &read) == 0) continue;
        const int32_t w = p.right - p.left + 1;
        // A console shrunk meanwhile returns less.
        for (int32_t y = p.top; y <= std::min<int32_t>(p.bottom, read.Bottom); ++y) {
            for (int32_t x = p.left; x <= std::min<int32_t>(p.right, read.Right); ++x) {
                const CHAR_INFO& held = STAGING[(y - p.top) * w + (x - p.left)];
                SCREEN.front[at(x, y)] = held;
                if (!same(SCREEN.buffer.cells[at(x, y)], held))
                    cells_mark_changed(SCREEN.buffer, Rect{x, y, x, y});
            }
        }
    }
}

// Asks the console for its size, window and cursor.
bool ask_console() {
    CONSOLE_SCREEN_BUFFER_INFO csbi{};
    if (GetConsoleScreenBufferInfo(SCREEN.out, &csbi) == 0) return false;
    // A resize may have taken the console's cursor along (a shorter buffer,
    // rewrapped text).
    if (csbi.dwCursorPosition.X != SCREEN.shown_x || csbi.dwCursorPosition.Y != SCREEN.shown_y)
        SCREEN.shown_x = SCREEN.shown_y = -1;
    SCREEN.size = csbi.dwSize;
    SCREEN.window = csbi.srWindow;
    return true;
}

// Looks at the console now and then, or at once after a resize: its size,
// window and cursor, and the rows in use. True if it did.
bool look() {
    const DWORD now = GetTickCount();
    if (!SCREEN.look_due && now - SCREEN.looked_at < win32::LOOK_INTERVAL_MS) return false;
    SCREEN.look_due = false;
    SCREEN.looked_at = now;
    if (!ask_console()) return false;
    // Text of the process's own since the device's last write (a run-time
    // error report) may stand in those rows: it stays.
    if (!SCREEN.foreign_write) read_back();
    return true;
}

// Where the device's cursor moves since the last update would have left the
// window on a console that follows every move, inside the buffer as the
// console keeps it.
SMALL_RECT followed_window() {
    const int32_t w = SCREEN.window.Right - SCREEN.window.Left;
    const int32_t h = SCREEN.window.Bottom - SCREEN.window.Top;
    const int32_t left = std::clamp(apply(SCREEN.follow_x, SCREEN.window.Left), 0,
                                    std::max(0, SCREEN.size.X - 1 - w));
    const int32_t top = std::clamp(apply(SCREEN.follow_y, SCREEN.window.Top), 0,
                                   std::max(0, SCREEN.size.Y - 1 - h));
    return region(Rect{left, top, left + w, top + h});
}

bool window_at(const SMALL_RECT& r) {
    return r.Left == SCREEN.window.Left && r.Top == SCREEN.window.Top;
}

// Moves the window where followed_window says. Unless LOOKED just now, the
// window is asked for first: moving it with a size seen earlier would undo
// a resize made since.
void follow_cursor(bool looked) {
    SMALL_RECT moved = followed_window();
    if (!window_at(moved) && !looked && ask_console()) moved = followed_window();
    SCREEN.follow_x = SCREEN.follow_y = STAY;
    if (window_at(moved)) return;
    if (SetConsoleWindowInfo(SCREEN.out, TRUE, &moved) != 0) SCREEN.window = moved;
}

// The smallest rectangle holding every touched cell that differs from what
// the console holds; false if none does.
bool changed_rectangle(Rect* r) {
    *r = Rect{SCREEN.buffer.width, SCREEN.buffer.height, -1, -1};
    for (int32_t y = SCREEN.buffer.changed_top; y <= SCREEN.buffer.changed_bottom; ++y) {
        const Span s = SCREEN.buffer.rows[y].changed;
        int32_t left = s.left;
        while (left <= s.right && same(SCREEN.buffer.cells[at(left, y)], SCREEN.front[at(left, y)]))
            ++left;
        if (left > s.right) continue;
        int32_t right = s.right;
        while (same(SCREEN.buffer.cells[at(right, y)], SCREEN.front[at(right, y)])) --right;
        r->left = std::min(r->left, left);
        r->right = std::max(r->right, right);
        r->top = std::min(r->top, y);
        r->bottom = y;
    }
    return r->bottom >= 0;
}

// Sends R piece by piece. A cell the program touched goes out as drawn; any
// other cell inside R goes out as the console holds it, all its bits kept.
void write_rectangle(const Rect& r) {
    for (Rect p = first_transfer(r); p.top <= r.bottom; p = next_transfer(r, p)) {
        const int32_t w = p.right - p.left + 1;
        for (int32_t y = p.top; y <= p.bottom; ++y) {
            const Span s = SCREEN.buffer.rows[y].changed;
            for (int32_t x = p.left; x <= p.right; ++x) {
                CHAR_INFO& ci = STAGING[(y - p.top) * w + (x - p.left)];
                if (x >= s.left && x <= s.right) {
                    const Cell c = SCREEN.buffer.cells[at(x, y)];
                    ci.Char.AsciiChar = static_cast<CHAR>(c.ch);
                    ci.Attributes = c.attr;
                } else {
                    ci = SCREEN.front[at(x, y)];
                }
                SCREEN.front[at(x, y)] = ci;
            }
        }
        SMALL_RECT written = region(p);
        WriteConsoleOutputA(SCREEN.out, STAGING, extent(p), COORD{0, 0}, &written);
    }
}

bool console_screen_info(Handle h, ScreenInfo* info) {
    CONSOLE_SCREEN_BUFFER_INFO csbi{};
    if (GetConsoleScreenBufferInfo(native(h), &csbi) == 0) return false;
    if (csbi.dwSize.X <= 0 || csbi.dwSize.Y <= 0) return false;
    if (!SCREEN.attached) attach(native(h), csbi);
    info->width = csbi.dwSize.X;
    info->height = csbi.dwSize.Y;
    info->cursor_x = csbi.dwCursorPosition.X;
    info->cursor_y = csbi.dwCursorPosition.Y;
    info->attribute = csbi.wAttributes;
    return true;
}

Handle console_open() {
    HANDLE h = CreateFileA(CONSOLE_OUTPUT_NAME, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return win32::portable(h);
}

uint32_t console_platform_id() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = OSVERSIONINFOA_SIZE;
    GetVersionExA(&version);
    return version.dwPlatformId;
}

void console_set_cursor(Handle, int32_t x, int32_t y) {
    if (SCREEN.foreign_write) SCREEN.shown_x = SCREEN.shown_y = -1;
    SCREEN.foreign_write = false;
    SCREEN.cursor_x = x;
    SCREEN.cursor_y = y;
    SCREEN.follow_x = follow(SCREEN.follow_x, x, SCREEN.window.Right - SCREEN.window.Left + 1);
    SCREEN.follow_y = follow(SCREEN.follow_y, y, SCREEN.window.Bottom - SCREEN.window.Top + 1);
}

void console_write_cell(Handle, int32_t x, int32_t y, Cell cell) {
    cells_write(SCREEN.buffer, x, y, cell);
}

void console_scroll(Handle, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    if (!SCREEN.attached) return;
    cells_scroll(SCREEN.buffer, rect, clip, dest_x, dest_y, fill);
}

void console_sleep(uint32_t ms) {
    win32::present();
    win32::act_on_termination_request();
    Sleep(ms);
    win32::act_on_termination_request();
}

} // namespace

namespace win32 {

void present() {
    if (!SCREEN.attached) return;
    if (win32::resize_reported()) SCREEN.look_due = true;
    const bool looked = look();
    Rect changed{};
    if (changed_rectangle(&changed)) write_rectangle(changed);
    cells_forget_changes(SCREEN.buffer);
    follow_cursor(looked);
    if (SCREEN.foreign_write) return;
    if (SCREEN.cursor_x != SCREEN.shown_x || SCREEN.cursor_y != SCREEN.shown_y) {
        SetConsoleCursorPosition(SCREEN.out, COORD{static_cast<SHORT>(SCREEN.cursor_x),
                                                   static_cast<SHORT>(SCREEN.cursor_y)});
        SCREEN.shown_x = SCREEN.cursor_x;
        SCREEN.shown_y = SCREEN.cursor_y;
    }
}

void look_soon() {
    SCREEN.look_due = true;
}

} // namespace win32

// The console the process runs in, as the platform console.
const Console WIN32_CONSOLE = {
    console_screen_info, console_open,      console_platform_id, console_set_cursor,
    console_write_cell,  console_scroll,    console_sleep,       win32::pending_events,
    win32::read_event,   win32::wait_input,
};

const Console* CONSOLE = &WIN32_CONSOLE;

} // namespace plat
