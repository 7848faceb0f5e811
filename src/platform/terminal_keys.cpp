// Keys from the terminal (placeholder: every byte is a character key).
#include <poll.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace plat {

uint32_t terminal_pending_events(Handle h) {
    pollfd p{h, POLLIN, 0};
    return poll(&p, 1, 0) > 0 ? 1 : 0;
}

bool terminal_read_event(Handle h, InputEvent* event) {
    uint8_t b = 0;
    if (read(h, &b, 1) != 1) return false;
    *event = InputEvent{KEY_EVENT, true, b, 0, b, 0};
    return true;
}

void terminal_wait_input(Handle h, uint32_t ms) {
    term::present();
    pollfd p{h, POLLIN, 0};
    poll(&p, 1, static_cast<int>(ms));
    term::act_on_pending_signal();
}

} // namespace plat
