// The terminal as the platform console.
#include <cerrno>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/posix.h"

namespace plat {

namespace {

bool terminal_screen_info(Handle h, ScreenInfo* info) {
    if (!term::attach(h)) return false;
    info->width = term::TERM.buffer.width;
    info->height = term::TERM.buffer.height;
    info->cursor_x = term::TERM.cursor_x;
    info->cursor_y = term::TERM.cursor_y;
    info->attribute = term::START_ATTRIBUTE;
    return true;
}

Handle terminal_open() {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 ? fd : INVALID_HANDLE;
}

uint32_t terminal_platform_id() {
    return PLATFORM_ID_NT;
}

void terminal_set_cursor(Handle, int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= term::TERM.buffer.width || y >= term::TERM.buffer.height) return;
    if (x != term::TERM.cursor_x || y != term::TERM.cursor_y) {
        term::TERM.placed = false;
        term::TERM.writer_cursor = false;
    }
    term::TERM.cursor_x = x;
    term::TERM.cursor_y = y;
}

void terminal_write_cell(Handle, int32_t x, int32_t y, Cell cell) {
    cells_write(term::TERM.buffer, x, y, cell);
    term::TERM.dirty = true;
    term::TERM.touched = true;
}

void terminal_scroll(Handle, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    cells_scroll(term::TERM.buffer, rect, clip, dest_x, dest_y, fill);
    term::TERM.dirty = true;
    term::TERM.touched = true;
}

void terminal_sleep(uint32_t ms) {
    term::present(term::Cursor::LEAVE);
    sig::act_on_pending();
    timespec left{static_cast<time_t>(ms / term::MILLIS_PER_SECOND),
                  static_cast<long>(ms % term::MILLIS_PER_SECOND) * term::NANOS_PER_MILLI};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        sig::act_on_pending();
        // Continued after a stop: the picture is whole again before the pause ends.
        term::present(term::Cursor::LEAVE);
    }
}

} // namespace

const Console TERMINAL_CONSOLE = {
    terminal_screen_info, terminal_open,       terminal_platform_id, terminal_set_cursor,
    terminal_write_cell,  terminal_scroll,     terminal_sleep,       terminal_pending_events,
    terminal_read_event,  terminal_wait_input,
};

const Console* CONSOLE = &TERMINAL_CONSOLE;

} // namespace plat
