// Key reading: KEYPRESSED looks at the waiting input events without waiting,
// READKEY waits for a key in slices of at most a second.
#include "runtime/console/keyboard.h"

#include <cstddef>

#include "platform/console.h"
#include "runtime/process/process.h"
#include "runtime/textfile/convert.h"

uint8_t SCANCODE = 0;
bool SPECIALKEY = false;
bool DOINGNUMCHARS = false;
uint8_t DOINGNUMCODE = 0;
bool CHECKEOF = false;

namespace {

constexpr uint32_t ANY_ALT = plat::STATE_RIGHT_ALT | plat::STATE_LEFT_ALT;
constexpr uint32_t ANY_CTRL = plat::STATE_RIGHT_CTRL | plat::STATE_LEFT_CTRL;
constexpr uint32_t KEY_WAIT_SLICE_MS = 1000;

bool ISNUMPADDIGIT(uint16_t KEYCODE) {
    return KEYCODE >= plat::VKEY_NUMPAD0 && KEYCODE <= plat::VKEY_NUMPAD9;
}

bool ISLOCKORSHIFTKEY(uint16_t KEYCODE) {
    return KEYCODE == plat::VKEY_SHIFT || KEYCODE == plat::VKEY_CONTROL ||
           KEYCODE == plat::VKEY_MENU || KEYCODE == plat::VKEY_CAPITAL ||
           KEYCODE == plat::VKEY_NUMLOCK || KEYCODE == plat::VKEY_SCROLL;
}

// Extended codes: a range of scan codes and what is added to them.
struct SCANRANGE {
    uint16_t FIRST;
    uint16_t LAST;
    int32_t ADD;
};

constexpr SCANRANGE ALTKEYS[] = {
    {2, 13, 118},  // digit row 1..0, minus, equals
    {28, 28, 138}, // Enter
    {53, 53, 111}, // keypad slash
    {59, 68, 45},  // F1..F10
    {71, 73, 80},  // Home, Up, Page Up
    {75, 75, 80},  // Left
    {77, 77, 80},  // Right
    {79, 83, 80},  // End, Down, Page Down, Insert, Delete
    {87, 88, 52},  // F11, F12
};
constexpr SCANRANGE CTRLKEYS[] = {
    {15, 15, 133}, // Tab
    {53, 53, 96},  // keypad slash
    {55, 55, 95},  // keypad star
    {59, 68, 35},  // F1..F10
    {87, 88, 50},  // F11, F12
};
constexpr SCANRANGE SHIFTKEYS[] = {
    {59, 68, 25}, // F1..F10
    {87, 88, 48}, // F11, F12
};
constexpr SCANRANGE PLAINKEYS[] = {
    {87, 88, 46}, // F11, F12
};

// Ctrl with the keypad's scan codes 71..83.
constexpr uint16_t CTRLKEYPADFIRST = 71;
constexpr uint8_t CTRLKEYPADKEYS[] = {119, 141, 132, 142, 115, 143, 116,
                                      78,  117, 145, 118, 146, 147};
constexpr uint16_t CTRLKEYPADLAST = CTRLKEYPADFIRST + sizeof CTRLKEYPADKEYS - 1;

template <size_t N> uint8_t LOOKUP(const SCANRANGE (&TABLE)[N], uint16_t SCAN) {
    for (const SCANRANGE& R : TABLE)
        if (SCAN >= R.FIRST && SCAN <= R.LAST) return static_cast<uint8_t>(SCAN + R.ADD);
    return static_cast<uint8_t>(SCAN);
}

} // namespace

uint8_t REMAPSCANCODE(uint16_t SCAN, uint32_t CONTROLKEYSTATE, uint16_t KEYCODE) {
    if ((CONTROLKEYSTATE & ANY_ALT) != 0) {
        if (ISNUMPADDIGIT(KEYCODE)) {
            DOINGNUMCHARS = true;
            DOINGNUMCODE =
                static_cast<uint8_t>(DOINGNUMCODE * DECIMAL + KEYCODE - plat::VKEY_NUMPAD0);
        }
        return LOOKUP(ALTKEYS, SCAN);
    }
    if ((CONTROLKEYSTATE & ANY_CTRL) != 0) {
        if (SCAN >= CTRLKEYPADFIRST && SCAN <= CTRLKEYPADLAST)
            return CTRLKEYPADKEYS[SCAN - CTRLKEYPADFIRST];
        return LOOKUP(CTRLKEYS, SCAN);
    }
    if ((CONTROLKEYSTATE & plat::STATE_SHIFT) != 0) return LOOKUP(SHIFTKEYS, SCAN);
    return LOOKUP(PLAINKEYS, SCAN);
}

bool KEYPRESSED() {
    if (SCANCODE != 0) return true;
    while (plat::CONSOLE->pending_events(INPUT.HANDLE) > 0) {
        plat::InputEvent EV{};
        if (!plat::CONSOLE->read_event(INPUT.HANDLE, &EV)) break;
        if (EV.event_type != plat::EVENT_TYPE_KEY) continue;
        if (!EV.key_down) {
            if (EV.virtual_key == plat::VKEY_MENU && DOINGNUMCHARS && DOINGNUMCODE > 0) {
                SCANCODE = DOINGNUMCODE;
                DOINGNUMCHARS = false;
                DOINGNUMCODE = 0;
                return true;
            }
            continue;
        }
        if (ISLOCKORSHIFTKEY(EV.virtual_key)) continue;
        if (EV.ch != 0 && (EV.control_state & (plat::STATE_LEFT_ALT | plat::STATE_ENHANCED)) == 0) {
            SPECIALKEY = false;
            SCANCODE = EV.ch;
        } else if (EV.ch == ENTER && EV.virtual_key == plat::VKEY_RETURN) {
            SPECIALKEY = false;
            SCANCODE = ENTER;
        } else {
            SPECIALKEY = true;
            SCANCODE = REMAPSCANCODE(EV.scan_code, EV.control_state, EV.virtual_key);
        }
        if (ISNUMPADDIGIT(EV.virtual_key) && (EV.control_state & ANY_ALT) != 0) {
            SPECIALKEY = false;
            SCANCODE = 0;
            continue;
        }
        return true;
    }
    return false;
}

uint8_t READKEY() {
    do {
        plat::CONSOLE->wait_input(INPUT.HANDLE, KEY_WAIT_SLICE_MS);
    } while (!KEYPRESSED());
    if (SPECIALKEY) {
        SPECIALKEY = false;
        return 0;
    }
    const uint8_t KEY = SCANCODE;
    SCANCODE = 0;
    return KEY;
}
