// The keys of a US keyboard as a console reports them, and the tables that
// name the key of a byte or of a sequence's number or final byte. The
// decoder's state machine looks keys up here.
#pragma once
#include <cstdint>

#include "platform/posix/key_decoder.h"

namespace plat {

constexpr uint8_t DEL = 0x7F;
constexpr uint8_t ASCII_END = 0x80;

// A key as the console reports it.
struct Key {
    uint16_t vk;
    uint16_t scan;
    uint8_t ch;
    uint32_t state;
};

constexpr Key NO_KEY = {0, 0, 0, 0};
constexpr Key ENTER = {VKEY_RETURN, 28, 13, 0};
constexpr Key KEYPAD_ENTER = {VKEY_RETURN, 28, 13, STATE_ENHANCED};
constexpr Key BACKSPACE = {VKEY_BACK, 14, 8, 0};
constexpr Key TAB = {VKEY_TAB, 15, 9, 0};
constexpr Key ESCAPE_KEY = {VKEY_ESCAPE, 1, 27, 0};
constexpr Key HOME = {36, 71, 0, STATE_ENHANCED};
constexpr Key END = {35, 79, 0, STATE_ENHANCED};
constexpr Key PAGE_UP = {33, 73, 0, STATE_ENHANCED};
constexpr Key PAGE_DOWN = {34, 81, 0, STATE_ENHANCED};
constexpr Key UP = {38, 72, 0, STATE_ENHANCED};
constexpr Key DOWN = {40, 80, 0, STATE_ENHANCED};
constexpr Key RIGHT = {39, 77, 0, STATE_ENHANCED};
constexpr Key LEFT = {37, 75, 0, STATE_ENHANCED};
constexpr Key INSERT = {45, 82, 0, STATE_ENHANCED};
constexpr Key DELETE = {46, 83, 0, STATE_ENHANCED};
constexpr Key KEYPAD_5 = {12, 76, 0, 0}; // Num Lock off
constexpr Key KEYPAD_SLASH = {111, 53, '/', STATE_ENHANCED};
constexpr Key KEYPAD_STAR = {106, 55, '*', 0};
constexpr Key KEYPAD_MINUS = {109, 74, '-', 0};
constexpr Key KEYPAD_PLUS = {107, 78, '+', 0};
constexpr Key KEYPAD_POINT = {110, 83, '.', 0};
constexpr uint16_t KEYPAD_DIGIT_SCANS[10] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};
constexpr Key CTRL_SPACE = {32, 57, 0, STATE_LEFT_CTRL};

// F1..F12.
constexpr int32_t FUNCTION_KEYS = 12;
constexpr Key FKEY[FUNCTION_KEYS + 1] = {
    NO_KEY,          {112, 59, 0, 0}, {113, 60, 0, 0}, {114, 61, 0, 0}, {115, 62, 0, 0},
    {116, 63, 0, 0}, {117, 64, 0, 0}, {118, 65, 0, 0}, {119, 66, 0, 0}, {120, 67, 0, 0},
    {121, 68, 0, 0}, {122, 87, 0, 0}, {123, 88, 0, 0},
};

// The key of a printable ASCII character.
Key printable_key(uint8_t c);

// The key of a byte outside sequences, below 0x80 and not ESC.
Key byte_key(uint8_t b);

// The keys whose final byte names them, in CSI and SS3 sequences alike.
Key named_by_final(uint8_t f);

// CSI n ~ (and rxvt's n $ ^ @): the key of number N, with Shift added for
// the numbers that Linux and rxvt send for Shift+F3..F10.
Key numbered_key(int32_t n, bool* shifted);

// The byte of the code page that shows CODEPOINT, '?' if none does.
uint8_t cp437_byte(uint32_t codepoint);

} // namespace plat
