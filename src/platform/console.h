// Platform console layer: the few console operations the console device
// relies on. The terminal implementation is the default; tests plug in an
// in-memory console by pointing CONSOLE at their own table.
#pragma once
#include <cstdint>

#include "platform/file.h"

namespace plat {

struct ScreenInfo {
    int32_t width;      // columns of the whole screen buffer
    int32_t height;     // rows of the whole screen buffer
    int32_t cursor_x;   // 0-based
    int32_t cursor_y;   // 0-based
    uint16_t attribute; // the console's current attribute
};

struct Cell {
    uint8_t ch;
    uint8_t attr;
};

// An inclusive, 0-based rectangle of cells.
struct Rect {
    int32_t left, top, right, bottom;
};

// A console input event as a Win32 console reports a key. The names of its
// numbers here are the seam's own: no system header defines them.
constexpr uint16_t EVENT_TYPE_KEY = 1;
struct InputEvent {
    uint16_t event_type; // EVENT_TYPE_KEY for keys; anything else is skipped
    bool key_down;
    uint16_t virtual_key;
    uint16_t scan_code;
    uint8_t ch;
    uint32_t control_state;
};

// Control key state bits.
constexpr uint32_t STATE_RIGHT_ALT = 0x1;
constexpr uint32_t STATE_LEFT_ALT = 0x2;
constexpr uint32_t STATE_RIGHT_CTRL = 0x4;
constexpr uint32_t STATE_LEFT_CTRL = 0x8;
constexpr uint32_t STATE_SHIFT = 0x10;
constexpr uint32_t STATE_ENHANCED = 0x100;

// Virtual key codes of the keys that the keyboard and the terminal's key
// decoder name: a letter's or a digit's code is its upper-case character,
// F2..F12 follow F1, MENU is Alt, PRIOR and NEXT are Page Up and Page Down,
// CLEAR is the keypad's 5 with Num Lock off, OEM_* are the punctuation keys.
// clang-format off
enum VirtualKey : uint16_t {
    VKEY_BACK = 8,         VKEY_TAB = 9,         VKEY_CLEAR = 12,      VKEY_RETURN = 13,
    VKEY_SHIFT = 16,       VKEY_CONTROL = 17,    VKEY_MENU = 18,       VKEY_CAPITAL = 20,
    VKEY_ESCAPE = 27,      VKEY_SPACE = 32,      VKEY_PRIOR = 33,      VKEY_NEXT = 34,
    VKEY_END = 35,         VKEY_HOME = 36,       VKEY_LEFT = 37,       VKEY_UP = 38,
    VKEY_RIGHT = 39,       VKEY_DOWN = 40,       VKEY_INSERT = 45,     VKEY_DELETE = 46,
    VKEY_NUMPAD0 = 96,     VKEY_NUMPAD9 = 105,   VKEY_MULTIPLY = 106,  VKEY_ADD = 107,
    VKEY_SUBTRACT = 109,   VKEY_DECIMAL = 110,   VKEY_DIVIDE = 111,    VKEY_F1 = 112,
    VKEY_NUMLOCK = 144,    VKEY_SCROLL = 145,
    VKEY_OEM_1 = 186,      VKEY_OEM_PLUS = 187,  VKEY_OEM_COMMA = 188, VKEY_OEM_MINUS = 189,
    VKEY_OEM_PERIOD = 190, VKEY_OEM_2 = 191,     VKEY_OEM_3 = 192,     VKEY_OEM_4 = 219,
    VKEY_OEM_5 = 220,      VKEY_OEM_6 = 221,     VKEY_OEM_7 = 222,
};
// clang-format on

constexpr uint32_t PLATFORM_ID_NT = 2;

struct Console {
    // Screen buffer information of a console handle; false if it is none.
    bool (*screen_info)(Handle h, ScreenInfo* info);
    // Opens the console by name; INVALID_HANDLE if there is none.
    Handle (*open_console)();
    uint32_t (*platform_id)();
    void (*set_cursor)(Handle h, int32_t x, int32_t y);
    void (*write_cell)(Handle h, int32_t x, int32_t y, Cell cell);
    // Moves RECT so that its top-left lands on (DEST_X, DEST_Y); every cell of
    // CLIP that the moved rectangle does not cover becomes FILL.
    void (*scroll)(Handle h, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill);
    void (*sleep)(uint32_t ms);
    // Keyboard: the number of waiting input events, reading one, and waiting
    // up to MS milliseconds for input to arrive.
    uint32_t (*pending_events)(Handle h);
    bool (*read_event)(Handle h, InputEvent* event);
    void (*wait_input)(Handle h, uint32_t ms);
};

// The console in use: the system's own unless a test plugs in another.
extern const Console* CONSOLE;

} // namespace plat
