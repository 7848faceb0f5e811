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
    term::screen_info(info);
    return true;
}

Handle terminal_open() {
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd >= 0 ? fd : INVALID_HANDLE;
}

uint32_t terminal_platform_id() {
    return PLATFORM_ID_NT;
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

// The cells go straight to the screen: a character costs one call.
const Console TERMINAL_CONSOLE = {
    terminal_screen_info, terminal_open,       terminal_platform_id, term::set_cursor,
    term::write_cell,     term::scroll,        terminal_sleep,       terminal_pending_events,
    terminal_read_event,  terminal_wait_input,
};

const Console* CONSOLE = &TERMINAL_CONSOLE;

} // namespace plat
