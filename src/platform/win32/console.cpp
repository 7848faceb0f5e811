// The Win32 console as the platform console. Cells are written into a copy
// of the screen buffer; before every pause, key wait, other output and the
// end, the cells that differ from what the console holds go out in one
// WriteConsoleOutputA of their bounding rectangle, so a search step costs
// about one console call rather than one per cell.
#include <algorithm>
#include <cstring>

#include "platform/cellbuffer.h"
#include "platform/process.h"
#include "platform/win32/win32.h"

namespace plat {

using win32::native;

namespace {

// One console call moves at most this many cells (the console's limit on a
// single transfer is 64 KB).
constexpr int32_t CELLS_PER_CALL = 8000;
constexpr DWORD OSVERSIONINFOA_SIZE = 148;
constexpr char CONSOLE_OUTPUT_NAME[] = "CONOUT$";
constexpr uint8_t SPACE = ' ';

struct Screen {
    bool attached;
    HANDLE out;
    int32_t width;
    int32_t height;
    int32_t rows_per_call;
    Cell* back;  // what the program has drawn
    Cell* front; // what the console holds
    CellBuffer buffer;
    CHAR_INFO* staging;
    int32_t cursor_x; // the console device's cursor
    int32_t cursor_y;
    int32_t shown_x; // where the console's cursor stands; -1 if unknown
    int32_t shown_y;
    bool foreign_write; // another writer moved the console's cursor last, and
                        // the device has not placed its cursor since
};

Screen SCREEN;

Cell* cells_at(Cell* cells, int32_t x, int32_t y) {
    return cells + static_cast<ptrdiff_t>(y) * SCREEN.width + x;
}

// Reads the console's cells, so that what the program does not redraw
// stays as it was and a scroll moves what the console really shows.
void read_console() {
    for (int32_t top = 0; top < SCREEN.height; top += SCREEN.rows_per_call) {
        const int32_t bottom = std::min(top + SCREEN.rows_per_call, SCREEN.height) - 1;
        SMALL_RECT region{0, static_cast<SHORT>(top), static_cast<SHORT>(SCREEN.width - 1),
                          static_cast<SHORT>(bottom)};
        const COORD size{static_cast<SHORT>(SCREEN.width), static_cast<SHORT>(bottom - top + 1)};
        if (ReadConsoleOutputA(SCREEN.out, SCREEN.staging, size, COORD{0, 0}, &region) == 0)
            continue;
        for (int32_t y = top; y <= bottom; ++y)
            for (int32_t x = 0; x < SCREEN.width; ++x) {
                const CHAR_INFO& ci = SCREEN.staging[(y - top) * SCREEN.width + x];
                *cells_at(SCREEN.front, x, y) = Cell{static_cast<uint8_t>(ci.Char.AsciiChar),
                                                     static_cast<uint8_t>(ci.Attributes)};
            }
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
    SCREEN.width = csbi.dwSize.X;
    SCREEN.height = csbi.dwSize.Y;
    SCREEN.rows_per_call = std::max<int32_t>(1, CELLS_PER_CALL / SCREEN.width);
    const auto cells = static_cast<size_t>(SCREEN.width) * static_cast<size_t>(SCREEN.height);
    SCREEN.back = new Cell[cells];
    SCREEN.front = new Cell[cells];
    SCREEN.staging = new CHAR_INFO[static_cast<size_t>(SCREEN.rows_per_call * SCREEN.width)];
    for (size_t i = 0; i < cells; ++i) SCREEN.front[i] = Cell{SPACE, 0};
    read_console();
    std::memcpy(SCREEN.back, SCREEN.front, cells * sizeof(Cell));
    SCREEN.buffer = CellBuffer{SCREEN.back, new Cell[cells], SCREEN.width, SCREEN.height};
    SCREEN.cursor_x = csbi.dwCursorPosition.X;
    SCREEN.cursor_y = csbi.dwCursorPosition.Y;
    SCREEN.shown_x = SCREEN.cursor_x;
    SCREEN.shown_y = SCREEN.cursor_y;
    SCREEN.attached = true;
    at_process_end(end_of_process);
    BEFORE_TERMINAL_WRITE = before_console_write;
}

// The smallest rectangle holding every cell that differs; false if none does.
bool changed_rectangle(Rect* r) {
    *r = Rect{SCREEN.width, SCREEN.height, -1, -1};
    for (int32_t y = 0; y < SCREEN.height; ++y) {
        const Cell* b = cells_at(SCREEN.back, 0, y);
        const Cell* f = cells_at(SCREEN.front, 0, y);
        if (std::memcmp(b, f, static_cast<size_t>(SCREEN.width) * sizeof(Cell)) == 0) continue;
        int32_t left = 0;
        while (b[left].ch == f[left].ch && b[left].attr == f[left].attr) ++left;
        int32_t right = SCREEN.width - 1;
        while (b[right].ch == f[right].ch && b[right].attr == f[right].attr) --right;
        r->left = std::min(r->left, left);
        r->right = std::max(r->right, right);
        r->top = std::min(r->top, y);
        r->bottom = y;
    }
    return r->bottom >= 0;
}

void write_rectangle(const Rect& r) {
    const int32_t w = r.right - r.left + 1;
    const int32_t rows = std::max<int32_t>(1, CELLS_PER_CALL / w);
    for (int32_t top = r.top; top <= r.bottom; top += rows) {
        const int32_t bottom = std::min(top + rows - 1, r.bottom);
        for (int32_t y = top; y <= bottom; ++y) {
            for (int32_t x = r.left; x <= r.right; ++x) {
                const Cell c = *cells_at(SCREEN.back, x, y);
                CHAR_INFO& ci = SCREEN.staging[(y - top) * w + (x - r.left)];
                ci.Char.AsciiChar = static_cast<CHAR>(c.ch);
                ci.Attributes = c.attr;
            }
            std::memcpy(cells_at(SCREEN.front, r.left, y), cells_at(SCREEN.back, r.left, y),
                        static_cast<size_t>(w) * sizeof(Cell));
        }
        SMALL_RECT region{static_cast<SHORT>(r.left), static_cast<SHORT>(top),
                          static_cast<SHORT>(r.right), static_cast<SHORT>(bottom)};
        WriteConsoleOutputA(SCREEN.out, SCREEN.staging,
                            COORD{static_cast<SHORT>(w), static_cast<SHORT>(bottom - top + 1)},
                            COORD{0, 0}, &region);
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
}

void console_write_cell(Handle, int32_t x, int32_t y, Cell cell) {
    if (SCREEN.attached) cells_write(SCREEN.buffer, x, y, cell);
}

void console_scroll(Handle, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    if (SCREEN.attached) cells_scroll(SCREEN.buffer, rect, clip, dest_x, dest_y, fill);
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
    Rect changed{};
    if (changed_rectangle(&changed)) write_rectangle(changed);
    if (SCREEN.foreign_write) return;
    if (SCREEN.cursor_x != SCREEN.shown_x || SCREEN.cursor_y != SCREEN.shown_y) {
        SetConsoleCursorPosition(SCREEN.out, COORD{static_cast<SHORT>(SCREEN.cursor_x),
                                                   static_cast<SHORT>(SCREEN.cursor_y)});
        SCREEN.shown_x = SCREEN.cursor_x;
        SCREEN.shown_y = SCREEN.cursor_y;
    }
}

} // namespace win32

// The console the process runs in, as the platform console.
const Console TERMINAL_CONSOLE = {
    console_screen_info, console_open,      console_platform_id, console_set_cursor,
    console_write_cell,  console_scroll,    console_sleep,       win32::pending_events,
    win32::read_event,   win32::wait_input,
};

const Console* CONSOLE = &TERMINAL_CONSOLE;

} // namespace plat
