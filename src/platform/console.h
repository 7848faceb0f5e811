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

// A console input event as a Win32 console reports a key.
constexpr uint16_t KEY_EVENT = 1;
struct InputEvent {
    uint16_t event_type; // KEY_EVENT for keys; anything else is skipped
    bool key_down;
    uint16_t virtual_key;
    uint16_t scan_code;
    uint8_t ch;
    uint32_t control_state;
};

// Control key state bits.
constexpr uint32_t RIGHT_ALT_PRESSED = 0x1;
constexpr uint32_t LEFT_ALT_PRESSED = 0x2;
constexpr uint32_t RIGHT_CTRL_PRESSED = 0x4;
constexpr uint32_t LEFT_CTRL_PRESSED = 0x8;
constexpr uint32_t SHIFT_PRESSED = 0x10;
constexpr uint32_t ENHANCED_KEY = 0x100;

// Virtual key codes of the keys that the keyboard and the terminal's key
// decoder name. A Win32 file includes this before windows.h, whose macros
// of the same names then stand for the same numbers.
constexpr uint16_t VK_BACK = 8;
constexpr uint16_t VK_TAB = 9;
constexpr uint16_t VK_RETURN = 13;
constexpr uint16_t VK_SHIFT = 16;
constexpr uint16_t VK_CONTROL = 17;
constexpr uint16_t VK_MENU = 18;
constexpr uint16_t VK_CAPITAL = 20;
constexpr uint16_t VK_ESCAPE = 27;
constexpr uint16_t VK_NUMPAD0 = 96;
constexpr uint16_t VK_NUMPAD9 = 105;
constexpr uint16_t VK_NUMLOCK = 144;
constexpr uint16_t VK_SCROLL = 145;

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
