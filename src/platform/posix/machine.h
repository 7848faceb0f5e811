// What the fault handler reads from a signal's machine context, and the
// other facts that differ from one processor to the next: one file per
// machine, chosen here.
#pragma once

#if defined(__linux__) && defined(__x86_64__)
#include "platform/posix/machine_x86_64.h"
#elif defined(__linux__) && defined(__aarch64__)
#include "platform/posix/machine_aarch64.h"
#else
#error                                                                                             \
    "No machine file for this target: write src/platform/posix/machine_<cpu>.h (see README, Porting)"
#endif
