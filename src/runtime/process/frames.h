// Reading the stack frames a run-time error report walks.
#pragma once
#include <cstdint>

// The main program's frame, remembered at start-up: every walk ends there.
extern uintptr_t MAINFRAME;

// The frame link saved in a frame; the main program's frame counts as having
// a zero link.
uintptr_t FRAMELINK(uintptr_t FRAME);
// The return address saved in a frame.
uintptr_t FRAMERETURN(uintptr_t FRAME);
