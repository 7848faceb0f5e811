// Keys from the terminal, or from a standard input that is a file or a pipe:
// the bytes are decoded into key presses, each followed by its release
// (terminals send no releases; a console reports both, and a waiting release
// lets a key wait end at once, as it does on a console).
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

#include "platform/posix/key_decoder.h"
#include "platform/posix/signals.h"
#include "platform/posix/terminal.h"

namespace plat {

namespace {

constexpr int32_t READ_CHUNK = 256;
// Each byte gives at most one press and its release.
constexpr int32_t EVENTS_PER_BYTE = 2;
constexpr int32_t QUEUE_CAPACITY = 4 * READ_CHUNK * EVENTS_PER_BYTE;

InputEvent QUEUE[QUEUE_CAPACITY];
int32_t QUEUE_HEAD = 0;
int32_t QUEUE_COUNT = 0;
KeyDecoder DECODER;
bool STARTED = false;
// How long input may pause inside a sequence before a lone Esc is taken as
// the Esc key (terminals write a key's sequence at once; slow links need more).
int ESCAPE_WAIT = term::ESCAPE_WAIT_DEFAULT_MS;
bool AT_END = false; // the input is closed: every line read ends at once

void push(const InputEvent& event) {
    if (QUEUE_COUNT == QUEUE_CAPACITY) return; // fill() reads only with room left
    QUEUE[(QUEUE_HEAD + QUEUE_COUNT) % QUEUE_CAPACITY] = event;
    ++QUEUE_COUNT;
}

void push_key(const InputEvent& press) {
    push(press);
    InputEvent release = press;
    release.key_down = false;
    push(release);
}

void decode(uint8_t byte) {
    InputEvent event{};
    if (key_decode(DECODER, byte, &event)) push_key(event);
}

// No more input is coming for now: a sequence left open ends.
void decode_quiet() {
    InputEvent event{};
    if (key_decoder_waiting(DECODER) && key_decode_quiet(DECODER, &event)) push_key(event);
}

bool readable(Handle h, int timeout_ms) {
    pollfd p{static_cast<int>(h), POLLIN, 0};
    int r = 0;
    do {
        r = poll(&p, 1, timeout_ms);
    } while (r < 0 && errno == EINTR && timeout_ms == 0);
    return r > 0;
}

void start(Handle h) {
    STARTED = true;
    ESCAPE_WAIT = term::escape_wait_ms(std::getenv("ESCDELAY"));
    DECODER = key_decoder_new(term::TERM.utf8);
    DECODER.position_reports_expected = term::POSITION_REPORTS_DUE;
    // Keys typed while the terminal was being asked for its cursor.
    if (isatty(h) != 0)
        for (int32_t i = 0; i < term::EARLY_INPUT_COUNT; ++i) decode(term::EARLY_INPUT[i]);
    term::EARLY_INPUT_COUNT = 0;
}

// Decodes whatever input is available without waiting, except for the short
// wait that tells a lone Esc from the start of a sequence.
void fill(Handle h) {
    if (!STARTED) start(h);
    uint8_t bytes[READ_CHUNK];
    while (!AT_END && QUEUE_COUNT + READ_CHUNK * EVENTS_PER_BYTE <= QUEUE_CAPACITY) {
        if (!readable(h, key_decoder_waiting(DECODER) ? ESCAPE_WAIT : 0)) {
            decode_quiet();
            break;
        }
        const ssize_t n = read(h, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR && sig::retry_after_interrupt()) continue;
        if (n <= 0) {
            AT_END = true;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) decode(bytes[i]);
    }
    if (!AT_END) return;
    decode_quiet();
    // Closed input ends the line being read as Enter would.
    if (QUEUE_COUNT == 0) decode('\r');
}

} // namespace

uint32_t terminal_pending_events(Handle h) {
    fill(h);
    return static_cast<uint32_t>(QUEUE_COUNT);
}

bool terminal_read_event(Handle h, InputEvent* event) {
    if (QUEUE_COUNT == 0) fill(h);
    if (QUEUE_COUNT == 0) return false;
    *event = QUEUE[QUEUE_HEAD];
    QUEUE_HEAD = (QUEUE_HEAD + 1) % QUEUE_CAPACITY;
    --QUEUE_COUNT;
    return true;
}

namespace {

// A background job waiting for keys stops as any reader of its terminal
// does (SIGTTIN to its process group) until it is brought to the
// foreground. A stop that does not happen (the signal ignored, or nobody
// left who could continue the job) leaves the input closed, as a read
// would find it.
void wait_for_foreground(Handle h) {
    while (!AT_END && isatty(h) != 0 && !term::foreground(h)) {
        sig::CONTINUED = 0;
        kill(0, SIGTTIN);
        if (sig::CONTINUED == 0) AT_END = true;
        sig::act_on_pending();
    }
}

} // namespace

void terminal_wait_input(Handle h, uint32_t ms) {
    wait_for_foreground(h);
    // In the foreground: the modes and the whole picture before a key is read.
    term::present();
    if (!STARTED) start(h);
    if (QUEUE_COUNT == 0 && !AT_END) readable(h, static_cast<int>(ms));
    sig::act_on_pending();
}

} // namespace plat
