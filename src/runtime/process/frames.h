// Reading the stack frames a run-time error report walks.
#pragma once
#include <cstdint>

// The main program's frame, remembered at start-up: every walk ends there.
extern uintptr_t MAINFRAME;

// The program's own stack, remembered at entry: faults elsewhere are
// declined, and the walk reads no frame outside it.
extern uintptr_t STACKLOW;
extern uintptr_t STACKHIGH;

// The frame link saved in a frame; the main program's frame counts as having
// a zero link.
uintptr_t FRAMELINK(uintptr_t FRAME);
// The return address saved in a frame.
uintptr_t FRAMERETURN(uintptr_t FRAME);
// Whether FRAME can be one of the program's frames: aligned as frames are,
// with its link and return address inside the stack and not above the main
// program's frame. A broken chain fails this before it is read.
bool FRAMEINSTACK(uintptr_t FRAME);
