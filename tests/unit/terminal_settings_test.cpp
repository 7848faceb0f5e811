// What the terminal layer takes from what it is told: the buffer's size,
// the wait after a lone Esc, colours or none, and what it does with each
// signal.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/posix/posix.h"

namespace {

namespace term = plat::term;
using plat::sig::Disposition;

TEST(ScreenSize, RulesForEveryReportedSize) {
    struct Case {
        uint32_t columns, rows;
        const char* env_columns;
        const char* env_lines;
        int32_t width, height;
    };
    const Case cases[] = {
        {80, 24, "132", "50", 80, 24},      // a reported size wins
        {0, 0, nullptr, nullptr, 80, 25},   // nothing reported, nothing set
        {0, 0, "132", "50", 132, 50},       // the environment's
        {0, 30, "100", "", 100, 30},        // each side on its own
        {0, 0, "abc", "-5", 80, 25},        // not numbers
        {0, 0, "0", "99999999999", 80, 25}, // out of range
        {65535, 65535, nullptr, nullptr, 512, 512},
        {0, 0, "100000", "100000", 512, 512}, // the environment is held too
        {513, 1, nullptr, nullptr, 512, 1},
    };
    for (const Case& c : cases) {
        const term::ScreenSize size =
            term::screen_size(c.columns, c.rows, c.env_columns, c.env_lines);
        EXPECT_EQ(size.width, c.width) << c.columns << "x" << c.rows;
        EXPECT_EQ(size.height, c.height) << c.columns << "x" << c.rows;
    }
}

TEST(EscapeWait, EscdelayInMillisecondsWhenInRange) {
    const std::pair<const char*, int32_t> cases[] = {
        {nullptr, 50}, {"", 50},   {"25", 25},    {"1", 1},     {"10000", 10000},
        {"0", 50},     {"-1", 50}, {"10001", 50}, {"20ms", 50}, {"99999999999999", 50},
    };
    for (const auto& [value, ms] : cases)
        EXPECT_EQ(term::escape_wait_ms(value), ms) << (value != nullptr ? value : "(unset)");
}

TEST(NoColor, OnlySetAndNotEmptyTurnsColoursOff) {
    const std::pair<const char*, bool> cases[] = {
        {nullptr, false}, {"", false}, {"1", true}, {"0", true}, {"no", true},
    };
    for (const auto& [value, off] : cases)
        EXPECT_EQ(term::colours_off(value), off) << (value != nullptr ? value : "(unset)");
}

TEST(Signals, WhichAreActedOnAndWhatWasIgnoredAtStartStaysIgnored) {
    struct Case {
        int sig;
        Disposition handled, ignored_at_start;
    };
    const Case cases[] = {
        {SIGINT, Disposition::DEFER, Disposition::KEEP},
        {SIGTERM, Disposition::DEFER, Disposition::KEEP},
        {SIGHUP, Disposition::DEFER, Disposition::KEEP},
        {SIGQUIT, Disposition::END_NOW, Disposition::KEEP},
        {SIGUSR1, Disposition::END_NOW, Disposition::KEEP},
        {SIGALRM, Disposition::END_NOW, Disposition::KEEP},
        {SIGTSTP, Disposition::SUSPEND, Disposition::KEEP},
        {SIGCONT, Disposition::RESUME, Disposition::KEEP},
        {SIGWINCH, Disposition::RESIZE, Disposition::KEEP},
        // A failing write tells what went wrong; these signals would not.
        {SIGXFSZ, Disposition::IGNORE, Disposition::IGNORE},
        {SIGPIPE, Disposition::IGNORE, Disposition::IGNORE},
        {SIGCHLD, Disposition::KEEP, Disposition::KEEP},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plat::sig::disposition(c.sig, false), c.handled) << strsignal(c.sig);
        EXPECT_EQ(plat::sig::disposition(c.sig, true), c.ignored_at_start) << strsignal(c.sig);
    }
    // Every other signal that ends a process gives the terminal back first...
    for (int sig : {SIGPWR, SIGSYS, SIGSTKFLT, SIGIO, SIGABRT, SIGRTMIN, SIGRTMIN + 6, SIGRTMAX})
        EXPECT_EQ(plat::sig::disposition(sig, false), Disposition::END_NOW) << sig;
    // ...but for the C library's own, the fault handler's, those that cannot
    // be caught and those that do not end a process.
    for (int sig : {SIGRTMIN - 1, SIGRTMAX + 1, SIGSEGV, SIGFPE, SIGTRAP, SIGKILL, SIGSTOP, SIGTTIN,
                    SIGTTOU, SIGURG, 0})
        EXPECT_EQ(plat::sig::disposition(sig, false), Disposition::KEEP) << sig;
}

} // namespace
