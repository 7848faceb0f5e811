// The hooks every port shares. End hooks run newest first.
#include "platform/internal/hooks.h"

namespace plat {

void (*BEFORE_TERMINAL_WRITE)(Handle h) = nullptr;

namespace {

constexpr int MAX_END_HOOKS = 4;
EndHook END_HOOKS[MAX_END_HOOKS];
int END_HOOK_COUNT = 0;

} // namespace

void at_process_end(EndHook hook) {
    for (int i = 0; i < END_HOOK_COUNT; ++i)
        if (END_HOOKS[i] == hook) return;
    if (END_HOOK_COUNT < MAX_END_HOOKS) END_HOOKS[END_HOOK_COUNT++] = hook;
}

void run_end_hooks() {
    for (int i = END_HOOK_COUNT; i > 0; --i) END_HOOKS[i - 1]();
}

} // namespace plat
