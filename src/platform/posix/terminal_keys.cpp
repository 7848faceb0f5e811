// Keys from the terminal, or from a standard input that is a file or a pipe:
// the bytes are decoded into key presses, each followed by its release
// (terminals send no releases; a console reports both, and a waiting release
// lets a key wait end at once, as it does on a console).
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/select.h>
#include <unistd.h>

#include "platform/internal/key_queue.h"
#include "platform/posix/key_decoder.h"
#include "platform/posix/posix.h"

namespace plat {

namespace {

KeyQueue QUEUE;
KeyDecoder DECODER;
bool STARTED = false;
// How long input may pause inside a sequence before a lone Esc is taken as
// the Esc key (terminals write a key's sequence at once; slow links need more).
int ESCAPE_WAIT = term::ESCAPE_WAIT_DEFAULT_MS;

void decode(uint8_t byte) {
    InputEvent event{};
    if (key_decode(DECODER, byte, &event)) key_queue_push(QUEUE, event);
}

// No more input is coming for now: a sequence left open ends.
void decode_quiet() {
    InputEvent event{};
    if (key_decoder_waiting(DECODER) && key_decode_quiet(DECODER, &event))
        key_queue_push(QUEUE, event);
}

bool readable(Handle h, int timeout_ms) {
    for (;;) {
        errno = 0;
        if (term::input_within(static_cast<int>(h), timeout_ms)) return true;
        // Only a look that a signal interrupted is tried again; a wait ends
        // so that the signal is acted on.
        if (errno != EINTR || timeout_ms != 0) return false;
    }
}

void start() {
    STARTED = true;
    ESCAPE_WAIT = term::escape_wait_ms(std::getenv("ESCDELAY"));
    DECODER = key_decoder_new(term::screen_utf8());
}

// Decodes the input that has arrived up to the next key, without waiting
// except for the short wait that tells a lone Esc from the start of a
// sequence. One byte at a time: what follows the line that ends the program
// stays unread, for whatever reads the terminal, pipe or file next.
void fill(Handle h) {
    if (!STARTED) start();
    while (!QUEUE.at_end && QUEUE.count == 0) {
        if (!readable(h, key_decoder_waiting(DECODER) ? ESCAPE_WAIT : 0)) {
            decode_quiet();
            break;
        }
        uint8_t byte = 0;
        const ssize_t n = read(h, &byte, 1);
        if (n < 0 && errno == EINTR && sig::retry_after_interrupt()) continue;
        if (n <= 0) {
            QUEUE.at_end = true;
            break;
        }
        decode(byte);
    }
    if (!QUEUE.at_end) return;
    decode_quiet();
    InputEvent enter{};
    if (key_decode(DECODER, '\r', &enter)) key_queue_end_line(QUEUE, enter);
}

} // namespace

namespace term {

bool input_within(int fd, int timeout_ms) {
    constexpr suseconds_t MICROS_PER_MILLI = 1000;
    if (fd < 0) return false;
    // select cannot watch a descriptor this high; poll can, on this system.
    if (fd >= FD_SETSIZE) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, timeout_ms) > 0;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval limit{timeout_ms / MILLIS_PER_SECOND,
                  (timeout_ms % MILLIS_PER_SECOND) * MICROS_PER_MILLI};
    return select(fd + 1, &set, nullptr, nullptr, timeout_ms < 0 ? nullptr : &limit) > 0;
}

} // namespace term

uint32_t terminal_pending_events(Handle h) {
    fill(h);
    return static_cast<uint32_t>(QUEUE.count);
}

bool terminal_read_event(Handle h, InputEvent* event) {
    if (QUEUE.count == 0) fill(h);
    return key_queue_pop(QUEUE, event);
}

namespace {

// A background job waiting for keys stops as any reader of its terminal
// does (SIGTTIN to its process group) until it is brought to the
// foreground. A stop that does not happen (the signal ignored, or nobody
// left who could continue the job) leaves the input closed, as a read
// would find it.
void wait_for_foreground(Handle h) {
    while (!QUEUE.at_end && isatty(h) != 0 && !term::foreground(h)) {
        sig::CONTINUED = 0;
        kill(0, SIGTTIN);
        if (sig::CONTINUED == 0) QUEUE.at_end = true;
        sig::act_on_pending();
    }
}

} // namespace

void terminal_wait_input(Handle h, uint32_t ms) {
    wait_for_foreground(h);
    // In the foreground: the modes and the whole picture before a key is read.
    term::present();
    if (!STARTED) start();
    if (QUEUE.count == 0 && !QUEUE.at_end) readable(h, static_cast<int>(ms));
    sig::act_on_pending();
}

} // namespace plat
