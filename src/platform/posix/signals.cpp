// Signals the process acts on: requests to end it (deferred to the next safe
// point), every other signal that would end it (the terminal given back
// first), job control, a resized terminal, and the ones it ignores.
#include "platform/posix/posix.h"

#include <cerrno>

#include "platform/internal/hooks.h"
#include "platform/process.h"

namespace plat::sig {

volatile sig_atomic_t PENDING = 0;
volatile sig_atomic_t CONTINUED = 0;
volatile sig_atomic_t RESIZED = 0;

namespace {

struct Row {
    int sig;
    Disposition disposition;
};

// The signals given their own treatment. Every other signal whose default
// action ends the process is acted on like SIGQUIT (END_NOW), so that no
// end leaves the terminal raw. SIGXFSZ and SIGPIPE would end the process
// silently on a file past the size limit or a pipe nobody reads; ignored,
// the failing write reports it.
constexpr Row TABLE[] = {
    {SIGINT, Disposition::DEFER},
    {SIGTERM, Disposition::DEFER},
    {SIGHUP, Disposition::DEFER},
    {SIGXFSZ, Disposition::IGNORE},
    {SIGPIPE, Disposition::IGNORE},
    {SIGTSTP, Disposition::SUSPEND},
    {SIGCONT, Disposition::RESUME},
    {SIGWINCH, Disposition::RESIZE},
    {SIGCHLD, Disposition::KEEP},
    {SIGURG, Disposition::KEEP},
    {SIGSTOP, Disposition::KEEP},
    {SIGKILL, Disposition::KEEP},
    // A background job stops by these when it uses the terminal; it is
    // careful not to, except for the key wait, where stopping is right.
    {SIGTTIN, Disposition::KEEP},
    {SIGTTOU, Disposition::KEEP},
    // The fault handler's.
    {SIGSEGV, Disposition::KEEP},
    {SIGBUS, Disposition::KEEP},
    {SIGFPE, Disposition::KEEP},
    {SIGILL, Disposition::KEEP},
    {SIGTRAP, Disposition::KEEP},
};

// Signals above this and below SIGRTMIN belong to the C library (its
// threads' own); SIGRTMIN and SIGRTMAX are known only at run time.
constexpr int LAST_STANDARD_SIGNAL = 31;

void (*HOOK)() = nullptr;
volatile sig_atomic_t ENDING = 0;

void on_deferred(int sig) {
    PENDING = sig;
}

void on_end_now(int sig) {
    term::restore_modes();
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_resize(int) {
    RESIZED = 1;
}

void on_resume(int) {
    CONTINUED = 1;
}

void set_handler(int sig, void (*handler)(int), bool restart) {
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = handler;
    sa.sa_flags = restart ? SA_RESTART : 0;
    sigaction(sig, &sa, nullptr);
}

// Stops the process the way the terminal's suspend key does, with the
// terminal given back first, and takes the handler up again once continued.
void on_suspend(int sig) {
    const int saved_errno = errno;
    term::restore_modes();
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    raise(sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr); // the process stops here
    set_handler(sig, on_suspend, true);
    CONTINUED = 1;
    errno = saved_errno;
}

} // namespace

Disposition disposition(int sig, bool ignored_at_start) {
    Disposition wanted = Disposition::END_NOW;
    for (const Row& row : TABLE)
        if (row.sig == sig) wanted = row.disposition;
    if (sig < 1 || sig > SIGRTMAX || (sig > LAST_STANDARD_SIGNAL && sig < SIGRTMIN))
        wanted = Disposition::KEEP;
    if (wanted == Disposition::IGNORE) return Disposition::IGNORE;
    return ignored_at_start ? Disposition::KEEP : wanted;
}

void install(void (*hook)()) {
    HOOK = hook;
    for (int sig = 1; sig <= SIGRTMAX; ++sig) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) != 0) continue;
        switch (disposition(sig, old.sa_handler == SIG_IGN)) {
        case Disposition::KEEP: break;
        case Disposition::IGNORE: signal(sig, SIG_IGN); break;
        // No restart: a blocked open, read, pause or key wait returns early
        // and the request is acted on there.
        case Disposition::DEFER: set_handler(sig, on_deferred, false); break;
        case Disposition::END_NOW: set_handler(sig, on_end_now, false); break;
        case Disposition::SUSPEND: set_handler(sig, on_suspend, true); break;
        case Disposition::RESUME: set_handler(sig, on_resume, true); break;
        case Disposition::RESIZE: set_handler(sig, on_resize, true); break;
        }
    }
}

void act_on_pending() {
    const int sig = PENDING;
    if (sig == 0 || ENDING != 0) return;
    ENDING = 1;
    if (HOOK != nullptr) HOOK();
    run_end_hooks();
    signal(sig, SIG_DFL);
    raise(sig);
}

bool retry_after_interrupt() {
    act_on_pending();
    return ENDING == 0;
}

} // namespace plat::sig

namespace plat {

void on_termination(void (*hook)()) {
    sig::install(hook);
}

} // namespace plat
