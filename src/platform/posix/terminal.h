// The terminal behind the platform console: shared state of its parts
// (screen buffer and drawing, modes and signals, key decoding).
#pragma once
#include <csignal>
#include <cstdint>

#include "platform/cellbuffer.h"
#include "platform/console.h"

namespace plat::term {

// The screen buffer the terminal is kept in step with. The terminal shows
// FRONT; BACK is what the console holds. Drawing sends their differences.
struct Terminal {
    bool attached;
    int out_fd;    // the terminal drawn on
    int in_fd;     // the terminal whose input and replies are read; -1 if none
    int32_t width; // the buffer's size, fixed at start-up
    int32_t height;
    int32_t visible_w; // the part of the buffer the terminal shows; 0 until
    int32_t visible_h; // the first update looks at the terminal's size
    Cell* back;        // the cells of BUFFER
    Cell* front;
    CellBuffer buffer;
    char* out; // one update's bytes
    int32_t out_capacity;
    int32_t cursor_x; // where the console's cursor stands
    int32_t cursor_y;
    bool dirty;         // BACK has changed since the last update
    bool touched;       // BACK has ever been written: until then the terminal
                        // keeps what it showed before the program started
    bool repaint;       // FRONT is unknown: the terminal is erased, then every
                        // cell that is not blank is sent
    bool placed;        // the terminal's cursor was put at the console's cursor,
                        // which has not moved since
    bool writer_cursor; // another writer moved the terminal's cursor last,
                        // and the console's cursor has not moved since: the
                        // cursor stays where that writer's text ended
    int32_t term_x;     // where the terminal's cursor is; -1 if unknown
    int32_t term_y;
    int32_t sgr;        // the terminal's current attribute; -1 if unknown
    bool cursor_hidden; // hidden during a pause, shown again when parked
    bool utf8;
};

// The attribute the terminal starts with: light grey on black.
constexpr uint8_t START_ATTRIBUTE = 7;

extern Terminal TERM;
extern volatile sig_atomic_t RESIZED;

// Takes the terminal on FD over: size, modes, start cursor, signals.
bool attach(int fd);

// What an update does with the terminal's cursor. During a pause nobody
// types, so the cursor is hidden where the drawing left it rather than
// carried back to the console's cursor after every picture; before a key
// wait, another writer or the end it stands at the console's cursor.
enum class Cursor { PARK, LEAVE };

// Brings the terminal up to date in one write.
void present(Cursor cursor = Cursor::PARK);

// Gives the terminal back its modes and colours; safe in a signal handler.
void restore_modes();

// Input bytes that arrived before they were asked for (during the cursor
// position query), kept for the key decoder.
constexpr int32_t EARLY_INPUT_CAPACITY = 256;
extern uint8_t EARLY_INPUT[EARLY_INPUT_CAPACITY];
extern int32_t EARLY_INPUT_COUNT;
// Cursor position replies still to come (the query was not answered in time);
// the key decoder drops them.
extern int32_t POSITION_REPORTS_DUE;

// Acts on a pending Ctrl+C, SIGTERM or SIGHUP: saves what must be saved,
// gives the terminal back and ends the process by that signal.
void act_on_pending_signal();

} // namespace plat::term
