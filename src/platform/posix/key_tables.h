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
constexpr Key HOME = {VKEY_HOME, 71, 0, STATE_ENHANCED};
constexpr Key END = {VKEY_END, 79, 0, STATE_ENHANCED};
constexpr Key PAGE_UP = {VKEY_PRIOR, 73, 0, STATE_ENHANCED};
constexpr Key PAGE_DOWN = {VKEY_NEXT, 81, 0, STATE_ENHANCED};
constexpr Key UP = {VKEY_UP, 72, 0, STATE_ENHANCED};
constexpr Key DOWN = {VKEY_DOWN, 80, 0, STATE_ENHANCED};
constexpr Key RIGHT = {VKEY_RIGHT, 77, 0, STATE_ENHANCED};
constexpr Key LEFT = {VKEY_LEFT, 75, 0, STATE_ENHANCED};
constexpr Key INSERT = {VKEY_INSERT, 82, 0, STATE_ENHANCED};
constexpr Key DELETE = {VKEY_DELETE, 83, 0, STATE_ENHANCED};
constexpr Key KEYPAD_5 = {VKEY_CLEAR, 76, 0, 0}; // Num Lock off
constexpr Key KEYPAD_SLASH = {VKEY_DIVIDE, 53, '/', STATE_ENHANCED};
constexpr Key KEYPAD_STAR = {VKEY_MULTIPLY, 55, '*', 0};
constexpr Key KEYPAD_MINUS = {VKEY_SUBTRACT, 74, '-', 0};
constexpr Key KEYPAD_PLUS = {VKEY_ADD, 78, '+', 0};
constexpr Key KEYPAD_POINT = {VKEY_DECIMAL, 83, '.', 0};
constexpr uint16_t KEYPAD_DIGIT_SCANS[10] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};
constexpr Key CTRL_SPACE = {VKEY_SPACE, 57, 0, STATE_LEFT_CTRL};

// F1..F12: their scan codes, which do not run on past F10.
constexpr uint16_t FKEY_SCANS[] = {59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 87, 88};
constexpr Key fkey(int32_t n) {
    return {static_cast<uint16_t>(VKEY_F1 + n - 1), FKEY_SCANS[n - 1], 0, 0};
}

// The key of a printable ASCII character.
Key printable_key(uint8_t c);

// The key of a byte outside sequences, below 0x80 and not ESC.
Key byte_key(uint8_t b);

// The keys whose final byte names them, in CSI and SS3 sequences alike.
Key named_by_final(uint8_t f);

// CSI n ~ (and rxvt's n $ ^ @): the key of number N, Shift held for the
// numbers that Linux and rxvt send for Shift+F3..F10.
Key numbered_key(int32_t n);

// The byte of the code page that shows CODEPOINT, '?' if none does.
uint8_t cp437_byte(uint32_t codepoint);

} // namespace plat
