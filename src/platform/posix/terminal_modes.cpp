// Taking the terminal over: its size, its input modes, the start cursor, and
// giving it back at every end of the process.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "platform/decimal.h"
#include "platform/internal/hooks.h"
#include "platform/posix/key_decoder.h"
#include "platform/posix/posix.h"

namespace plat::term {

uint8_t EARLY_INPUT[EARLY_INPUT_CAPACITY];
int32_t EARLY_INPUT_COUNT = 0;
int32_t POSITION_REPORTS_DUE = 0;
bool KEYS_FROM_TERMINAL = false;

namespace {

constexpr int CURSOR_QUERY_TIMEOUT_MS = 100;
// Once a reply has begun, the wait for each of its further bytes.
constexpr int REPLY_PIECE_MS = 100;
constexpr char CURSOR_QUERY[] = "\x1b[6n";
constexpr int32_t REPLY_MAX = 32;
constexpr int32_t REPLY_VALUE_LIMIT = 100000; // larger rows and columns stop growing
// The terminal's own colours, and its cursor shown again.
constexpr char RESET_LOOK[] = "\x1b[0m\x1b[?25h";

struct SavedModes {
    int fd;
    termios modes; // as the terminal was: given back at every end and stop
    termios raw;   // as the program reads keys: taken again after a stop
};
SavedModes SAVED[2];
int SAVED_COUNT = 0;
// Set while the terminal has the program's modes and picture: from taking
// it until it is given back (a stop, the end) or another job has it.
volatile sig_atomic_t HELD = 0;

// A cursor position report being read: ESC [ row ; column R.
struct Reply {
    uint8_t bytes[REPLY_MAX];
    int32_t length;
    int32_t row;
    int32_t column;
    bool in_column;
};
Reply REPLY;
long QUERY_SENT_MS = 0;

bool utf8_locale() {
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        return strcasestr(value, "UTF-8") != nullptr || strcasestr(value, "UTF8") != nullptr;
    }
    return false;
}

// Keeps FD's modes, and the program's form of them, to be set later: even a
// background job may read them.
void save_modes(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    for (int i = 0; i < SAVED_COUNT; ++i)
        if (SAVED[i].fd == fd) return;
    SavedModes& saved = SAVED[SAVED_COUNT++];
    saved.fd = fd;
    saved.modes = t;
    // Keys arrive one by one, unechoed, CR as CR; Ctrl-S, Ctrl-Q, Ctrl-V and
    // Ctrl-\ arrive as keys; Ctrl+C interrupts and Ctrl-Z suspends.
    t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ECHONL | IEXTEN));
    t.c_iflag &= static_cast<tcflag_t>(~(ICRNL | INLCR | IGNCR | IXON | IXOFF));
    t.c_cc[VQUIT] = _POSIX_VDISABLE;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    saved.raw = t;
}

// Held before the change, so that an end from here on gives them back.
void take_modes() {
    HELD = 1;
    for (int i = 0; i < SAVED_COUNT; ++i)
        if (foreground(SAVED[i].fd)) tcsetattr(SAVED[i].fd, TCSANOW, &SAVED[i].raw);
}

long now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * MILLIS_PER_SECOND + ts.tv_nsec / NANOS_PER_MILLI;
}

void keep_as_input(const uint8_t* bytes, int32_t n) {
    for (int32_t i = 0; i < n && EARLY_INPUT_COUNT < EARLY_INPUT_CAPACITY; ++i)
        EARLY_INPUT[EARLY_INPUT_COUNT++] = bytes[i];
}

// Feeds one byte read while a reply is due; true when it completes one. Bytes
// that turn out not to belong to a reply are typed input.
bool reply_byte(uint8_t b) {
    Reply& r = REPLY;
    const bool digit = b >= '0' && b <= '9';
    const uint8_t last = r.length > 0 ? r.bytes[r.length - 1] : 0;
    bool fits = false;
    if (r.length == 0)
        fits = b == ESC;
    else if (r.length == 1)
        fits = b == '[';
    else if (digit)
        fits = r.length < REPLY_MAX;
    else if (b == ';')
        fits = !r.in_column && last != '[';
    else if (b == 'R')
        fits = r.in_column && last != ';';
    if (!fits) {
        keep_as_input(r.bytes, r.length);
        r = Reply{};
        if (b == ESC) return reply_byte(b); // perhaps the reply's own start
        keep_as_input(&b, 1);
        return false;
    }
    r.bytes[r.length++] = b;
    if (digit) {
        int32_t& value = r.in_column ? r.column : r.row;
        if (value < REPLY_VALUE_LIMIT) value = value * DECIMAL + (b - '0');
    }
    if (b == ';') r.in_column = true;
    return b == 'R';
}

// Reads the terminal's input while a reply is due, one byte at a time so
// that nothing after the reply is taken, until the reply is complete or
// DEADLINE has passed; with WAIT false only what has arrived is read.
bool read_reply(long deadline, bool wait) {
    while (POSITION_REPORTS_DUE > 0) {
        const long left = deadline - now_ms();
        int timeout = 0;
        if (REPLY.length > 0)
            timeout = REPLY_PIECE_MS; // a terminal writes its reply at once
        else if (left <= 0)
            return false;
        else if (wait)
            timeout = static_cast<int>(left);
        if (!input_within(TERM.in_fd, timeout)) return false;
        uint8_t b = 0;
        if (read(TERM.in_fd, &b, 1) != 1) return false;
        if (reply_byte(b)) {
            --POSITION_REPORTS_DUE;
            return true;
        }
    }
    return false;
}

// The same, from the foreground only, and with SIGTTIN blocked so that a
// process put in the background meanwhile gets an error, not a stop.
void read_reply_in_foreground(bool wait) {
    if (POSITION_REPORTS_DUE <= 0 || TERM.in_fd < 0) return;
    const bool begun = REPLY.length > 0;
    if (!begun && now_ms() >= QUERY_SENT_MS + POSITION_REPLY_BOUND_MS) return; // not coming
    if (!foreground(TERM.in_fd)) return;
    sigset_t ttin, old;
    sigemptyset(&ttin);
    sigaddset(&ttin, SIGTTIN);
    sigprocmask(SIG_BLOCK, &ttin, &old);
    read_reply(QUERY_SENT_MS + POSITION_REPLY_BOUND_MS, wait);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

// Asks the terminal where its cursor is; keeps any other input for the keys.
// Only the foreground job asks: a background one would be stopped.
void query_cursor() {
    if (TERM.in_fd < 0 || !foreground(TERM.in_fd)) return;
    if (write(TERM.out_fd, CURSOR_QUERY, sizeof CURSOR_QUERY - 1) < 0) return;
    QUERY_SENT_MS = now_ms();
    POSITION_REPORTS_DUE = 1;
    // A later answer is not waited for here: it is taken when it comes.
    if (!read_reply(QUERY_SENT_MS + CURSOR_QUERY_TIMEOUT_MS, true)) return;
    const int32_t col = REPLY.column, row = REPLY.row;
    REPLY = Reply{};
    if (row < 1 || col < 1) return;
    TERM.cursor_x = col - 1 < TERM.buffer.width ? col - 1 : TERM.buffer.width - 1;
    TERM.cursor_y = row - 1 < TERM.buffer.height ? row - 1 : TERM.buffer.height - 1;
    TERM.term_x = TERM.cursor_x;
    TERM.term_y = TERM.cursor_y;
}

} // namespace

void take_late_reply() {
    if (!KEYS_FROM_TERMINAL) read_reply_in_foreground(false);
}

void await_late_reply() {
    read_reply_in_foreground(true);
}

namespace {

bool same_terminal(int a, int b) {
    struct stat sa {
    }, sb{};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && S_ISCHR(sa.st_mode) &&
           sa.st_rdev == sb.st_rdev;
}

void before_terminal_write(Handle h) {
    if (TERM.attached && same_terminal(h, TERM.out_fd)) before_foreign_write();
}

// FD's terminal opened again, non-blocking, for the bytes that must not
// wait: O_NONBLOCK set on FD would reach the shell, which shares it.
int open_nonblocking(int fd) {
    constexpr int FLAGS = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const char* name = ttyname(fd);
    int again = name != nullptr ? open(name, FLAGS) : -1;
    // The controlling terminal opens by its other name whoever owns it.
    if (again < 0 && tcgetsid(fd) == getsid(0)) again = open("/dev/tty", FLAGS);
    return again;
}

void end_of_process() {
    present();
    restore_modes();
}

} // namespace

bool attach(int fd) {
    if (TERM.attached) return TERM.out_fd == fd || same_terminal(fd, TERM.out_fd);
    if (!isatty(fd)) return false;
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0) ws = winsize{};
    const ScreenSize size =
        screen_size(ws.ws_col, ws.ws_row, std::getenv("COLUMNS"), std::getenv("LINES"));
    TERM.out_fd = fd;
    TERM.now_fd = open_nonblocking(fd);
    take_buffers(size.width, size.height);
    TERM.cursor_x = TERM.cursor_y = 0;
    TERM.term_x = TERM.term_y = -1;
    TERM.sgr = -1;
    TERM.repaint = true;
    TERM.dirty = false;
    TERM.utf8 = utf8_locale();
    TERM.no_color = colours_off(std::getenv("NO_COLOR"));
    // Keys and the terminal's replies come from standard input when it is
    // this terminal, otherwise from the terminal opened by name.
    if (isatty(STDIN_FILENO))
        TERM.in_fd = STDIN_FILENO;
    else if (fcntl(fd, F_GETFL) >= 0 && (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR)
        TERM.in_fd = fd;
    else
        TERM.in_fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (TERM.in_fd >= 0) save_modes(TERM.in_fd);
    if (TERM.in_fd != fd) save_modes(fd);
    TERM.attached = true;
    at_process_end(end_of_process);
    BEFORE_TERMINAL_WRITE = before_terminal_write;
    // A background job leaves the terminal to the foreground one (its reply
    // to a query would go there too) until it becomes the foreground job.
    if (!foreground(fd)) return true;
    take_modes();
    query_cursor();
    return true;
}

bool foreground(int fd) {
    // A terminal that is not the controlling one (or no longer is: hung up)
    // has no jobs, and nothing stops its users.
    const pid_t group = tcgetpgrp(fd);
    return group < 0 || group == getpgrp();
}

void restore_modes() {
    await_late_reply();
    if (!TERM.attached || HELD == 0) return;
    // Another job has the terminal now, with modes of its own.
    if (!foreground(TERM.out_fd)) {
        HELD = 0;
        return;
    }
    char bytes[LEAVE_CAPACITY + sizeof RESET_LOOK];
    int32_t n = leave_sequence(bytes);
    std::memcpy(bytes + n, RESET_LOOK, sizeof RESET_LOOK - 1);
    n += static_cast<int32_t>(sizeof RESET_LOOK - 1);
    send_now(bytes, n);
    // Becoming a background job in between must not stop the process here.
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    // Newest first: a second handle on the same terminal saved modes already changed.
    for (int i = SAVED_COUNT; i > 0; --i) tcsetattr(SAVED[i - 1].fd, TCSANOW, &SAVED[i - 1].modes);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    HELD = 0;
}

bool hold_terminal() {
    if (sig::CONTINUED != 0) {
        sig::CONTINUED = 0;
        HELD = 0; // others may have used the terminal meanwhile
    }
    if (!foreground(TERM.out_fd)) {
        HELD = 0;
        return false;
    }
    if (HELD == 0) take_again();
    return true;
}

bool holds_terminal() {
    return HELD != 0;
}

namespace {
// Set once the process ends by a fault: the modes stay the terminal's own.
volatile sig_atomic_t RELEASED = 0;
} // namespace

void release_modes() {
    RELEASED = 1;
    if (!TERM.attached || HELD == 0 || !foreground(TERM.out_fd)) return;
    await_late_reply();
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    for (int i = SAVED_COUNT; i > 0; --i) tcsetattr(SAVED[i - 1].fd, TCSANOW, &SAVED[i - 1].modes);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

void take_again() {
    if (RELEASED == 0) take_modes();
    HELD = 1;
    // The terminal may have changed size meanwhile, with nobody told.
    TERM.visible_w = 0;
    // What the terminal shows now is the shell's: everything is drawn anew.
    TERM.repaint = true;
    TERM.dirty = true;
    TERM.term_x = TERM.term_y = -1;
    TERM.sgr = -1;
    TERM.cursor_hidden = false;
    TERM.placed = false;
}

} // namespace plat::term
