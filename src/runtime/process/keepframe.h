// Marks a procedure that must stay a real frame of its own: never inlined,
// cloned or specialised, so that run-time error reports name it.
#pragma once

#if defined(__clang__)
#define KEEPFRAME __attribute__((noinline))
#else
#define KEEPFRAME __attribute__((noipa))
#endif
