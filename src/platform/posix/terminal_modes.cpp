// Taking the terminal over: its size and input modes, and giving it back at
// every end of the process. Nothing is ever asked of the terminal: an answer
// would come through the input, among the keys the user typed or pasted.
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/internal/hooks.h"
#include "platform/posix/posix.h"

namespace plat::term {

namespace {

struct SavedModes {
    int fd;
    termios modes; // as the terminal was: given back at every end and stop
    termios raw;   // as the program reads keys: taken again after a stop
};
SavedModes SAVED[2];
int SAVED_COUNT = 0;
bool ATTACHED = false;
// The process group, taken once: the process never changes it.
volatile pid_t GROUP = 0;
// Set while the terminal has the program's modes and picture: from taking
// it until it is given back (a stop, the end) or another job has it.
volatile sig_atomic_t HELD = 0;

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

bool same_terminal(int a, int b) {
    struct stat sa {
    }, sb{};
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && S_ISCHR(sa.st_mode) &&
           sa.st_rdev == sb.st_rdev;
}

void before_terminal_write(Handle h) {
    if (ATTACHED && same_terminal(h, screen_fd())) before_foreign_write();
}

void end_of_process() {
    present();
    restore_modes();
}

// Set once the process ends by a fault: the modes stay the terminal's own.
volatile sig_atomic_t RELEASED = 0;

// Sets every terminal's modes as they were found, at once (TCSANOW: typed
// input stays for the next program). Becoming a background job in between
// must not stop the process here, so SIGTTOU is held off meanwhile.
void give_back_saved_modes() {
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    // Newest first: a second handle on the same terminal saved modes already changed.
    for (int i = SAVED_COUNT; i > 0; --i) tcsetattr(SAVED[i - 1].fd, TCSANOW, &SAVED[i - 1].modes);
    sigprocmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

bool attach(int fd) {
    if (ATTACHED) return screen_fd() == fd || same_terminal(fd, screen_fd());
    if (!isatty(fd)) return false;
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) != 0) ws = winsize{};
    const ScreenSize size =
        screen_size(ws.ws_col, ws.ws_row, std::getenv("COLUMNS"), std::getenv("LINES"));
    GROUP = getpgrp();
    screen_start(fd, size, ScreenOptions{utf8_locale(), colours_off(std::getenv("NO_COLOR"))});
    // The modes that keep typed keys off the picture are those of standard
    // input when it is this terminal, otherwise of the terminal opened by name.
    const int access = fcntl(fd, F_GETFL);
    int in_fd = -1;
    if (isatty(STDIN_FILENO))
        in_fd = STDIN_FILENO;
    else if (access >= 0 && (access & O_ACCMODE) == O_RDWR)
        in_fd = fd;
    else
        in_fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (in_fd >= 0) save_modes(in_fd);
    if (in_fd != fd) save_modes(fd);
    ATTACHED = true;
    at_process_end(end_of_process);
    BEFORE_TERMINAL_WRITE = before_terminal_write;
    // A background job leaves the terminal to the foreground one until it
    // becomes the foreground job.
    if (!foreground(fd)) return true;
    take_modes();
    return true;
}

bool foreground(int fd) {
    // A terminal that is not the controlling one (or no longer is: hung up)
    // has no jobs, and nothing stops its users.
    if (GROUP == 0) GROUP = getpgrp();
    const pid_t group = tcgetpgrp(fd);
    return group < 0 || group == GROUP;
}

void restore_modes() {
    if (!ATTACHED || HELD == 0) return;
    // Another job has the terminal now, with modes of its own.
    if (!foreground(screen_fd())) {
        HELD = 0;
        return;
    }
    // The terminal's own colours, and its cursor shown again.
    char bytes[LEAVE_CAPACITY + sizeof RESET_COLOURS + sizeof SHOW_CURSOR];
    int32_t n = leave_sequence(bytes);
    std::memcpy(bytes + n, RESET_COLOURS, sizeof RESET_COLOURS - 1);
    n += static_cast<int32_t>(sizeof RESET_COLOURS - 1);
    std::memcpy(bytes + n, SHOW_CURSOR, sizeof SHOW_CURSOR - 1);
    n += static_cast<int32_t>(sizeof SHOW_CURSOR - 1);
    send_now(bytes, n);
    give_back_saved_modes();
    HELD = 0;
}

bool hold_terminal() {
    if (sig::CONTINUED != 0) {
        sig::CONTINUED = 0;
        HELD = 0; // others may have used the terminal meanwhile
    }
    if (!foreground(screen_fd())) {
        HELD = 0;
        return false;
    }
    if (HELD == 0) take_again();
    return true;
}

bool holds_terminal() {
    return HELD != 0;
}

void release_modes() {
    RELEASED = 1;
    if (!ATTACHED || HELD == 0 || !foreground(screen_fd())) return;
    give_back_saved_modes();
}

void take_again() {
    if (RELEASED == 0) take_modes();
    HELD = 1;
    // What the terminal shows now is the shell's, maybe at another size:
    // everything is drawn anew.
    screen_forget();
}

} // namespace plat::term
