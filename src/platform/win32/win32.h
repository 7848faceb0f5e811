// What the parts of the Win32 platform share: bringing the console up to
// date, the keys, and the termination requests that wait for the program's
// next pause.
#pragma once
#include <windows.h>

#include "platform/console.h"

namespace plat::win32 {

// The runtime keeps handles as integers.
inline HANDLE native(Handle h) {
    return reinterpret_cast<HANDLE>(h); // NOLINT(performance-no-int-to-ptr)
}

inline Handle portable(HANDLE h) {
    return reinterpret_cast<Handle>(h);
}

// Signalled by a console control event (Ctrl+C, Ctrl+Break, close): a key
// wait ends at once instead of at the end of its slice.
HANDLE termination_event();

// Acts on a pending console control event: hands the buffered solutions to
// the OS, gives the console back, and ends the process as Ctrl+C does.
void act_on_termination_request();

// How often an update looks at the console (its size, window and cursor, and
// the rows in use) when nothing reported a change: a window moved or resized,
// or text another program wrote over the picture, is drawn over within this
// time, at a look every ninth step of 60 ms.
constexpr DWORD LOOK_INTERVAL_MS = 500;

// Brings the console up to date with the cell buffer and the cursor.
void present();
// The console reported a resize: the next update looks at it.
void look_soon();

// The console's input as the program runs with it, given back at the end.
void take_console_input();
// Keys: a console's input events, or the bytes of a file or pipe as keys.
uint32_t pending_events(Handle h);
bool read_event(Handle h, InputEvent* event);
void wait_input(Handle h, uint32_t ms);
// Whether the console's input reports a resize since the last look at it;
// the events no key read acts on are taken out of the way meanwhile.
bool resize_reported();

} // namespace plat::win32
