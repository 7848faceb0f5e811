// What the parts of a port tell each other and the runtime never calls: the
// console's turn before another writer reaches it, and the work done just
// before the process ends.
#pragma once
#include "platform/file.h"

namespace plat {

// Set by the console: called before anything is written to a terminal
// handle, so that the terminal is brought up to date first.
extern void (*BEFORE_TERMINAL_WRITE)(Handle h);

// Something to do just before the process ends (the terminal's modes).
using EndHook = void (*)();
void at_process_end(EndHook hook);
// Every ending path of a port runs them: exit, a fault, a request to end.
void run_end_hooks();

} // namespace plat
