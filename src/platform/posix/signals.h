// Signals the process acts on: requests to end it, job control, a resized
// terminal, and the ones it ignores. Everything that can block or loop for
// long asks act_on_pending() so that a request to end is never kept waiting.
#pragma once
#include <csignal>
#include <cstdint>

namespace plat::sig {

enum class Disposition : uint8_t {
    KEEP,    // left as the process found it
    DEFER,   // ends the process at the next safe point, solutions kept
    END_NOW, // gives the terminal back and ends the process at once
    IGNORE,  // always ignored: a failed call reports it instead
    SUSPEND, // gives the terminal back, then stops
    RESUME,  // takes the terminal again after a stop
    RESIZE,  // the terminal changed size
};

// What the process does with SIG. Every signal whose default action ends
// the process and that has no treatment of its own ends it like SIGQUIT
// (END_NOW); the fault signals are the fault handler's, and the C library's
// own real-time signals are left alone. A signal ignored at start (nohup, a
// script's trap '') stays ignored, except those that are always ignored.
Disposition disposition(int sig, bool ignored_at_start);

// Installs the handlers; HOOK runs before a deferred request ends the process.
void install(void (*hook)());

// A deferred request not yet acted on (its signal number), 0 if none.
extern volatile sig_atomic_t PENDING;
// Set when the process was continued after a stop; cleared by the terminal.
extern volatile sig_atomic_t CONTINUED;
// Set when the terminal was resized; cleared by the terminal.
extern volatile sig_atomic_t RESIZED;

// Ends the process by a pending request: runs the hook, gives the terminal
// back and raises the signal with its default action. Returns at once when
// nothing is pending, or when the process is already ending by one.
void act_on_pending();

// Called when a call failed with EINTR: acts on a pending request and tells
// whether the call should be tried again (not once the process has started
// ending by a request).
bool retry_after_interrupt();

} // namespace plat::sig
