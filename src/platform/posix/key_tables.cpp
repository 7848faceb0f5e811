// The key tables: printable ASCII, control bytes and the keys that
// sequences name.
#include "platform/posix/key_tables.h"

#include "platform/posix/cp437.h"

namespace plat {

namespace {

constexpr uint8_t QUESTION_MARK = '?';

// Printable ASCII on a US keyboard: virtual key, scan code, Shift.
struct Printable {
    uint16_t vk;
    uint16_t scan;
    bool shift;
};

constexpr uint16_t LETTER_SCANS[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                       49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

struct Punctuation {
    char plain;
    char shifted;
    uint16_t vk;
    uint16_t scan;
};
constexpr Punctuation PUNCTUATION[] = {
    {'1', '!', 49, 2},   {'2', '@', 50, 3},    {'3', '#', 51, 4},   {'4', '$', 52, 5},
    {'5', '%', 53, 6},   {'6', '^', 54, 7},    {'7', '&', 55, 8},   {'8', '*', 56, 9},
    {'9', '(', 57, 10},  {'0', ')', 48, 11},   {'-', '_', 189, 12}, {'=', '+', 187, 13},
    {'[', '{', 219, 26}, {']', '}', 221, 27},  {';', ':', 186, 39}, {'\'', '"', 222, 40},
    {'`', '~', 192, 41}, {'\\', '|', 220, 43}, {',', '<', 188, 51}, {'.', '>', 190, 52},
    {'/', '?', 191, 53}, {' ', ' ', 32, 57},
};

constexpr auto PRINTABLE = [] {
    struct Table {
        Printable key[ASCII_END];
    } t{};
    for (int c = 'a'; c <= 'z'; ++c) {
        const uint16_t vk = static_cast<uint16_t>(c - 'a' + 'A');
        t.key[c] = {vk, LETTER_SCANS[c - 'a'], false};
        t.key[c - 'a' + 'A'] = {vk, LETTER_SCANS[c - 'a'], true};
    }
    for (const Punctuation& p : PUNCTUATION) {
        t.key[static_cast<uint8_t>(p.shifted)] = {p.vk, p.scan, p.plain != p.shifted};
        t.key[static_cast<uint8_t>(p.plain)] = {p.vk, p.scan, false};
    }
    return t;
}();

} // namespace

Key printable_key(uint8_t c) {
    const Printable& p = PRINTABLE.key[c];
    return {p.vk, p.scan, c, p.shift ? STATE_SHIFT : 0};
}

Key byte_key(uint8_t b) {
    constexpr uint8_t CTRL_A = 0x01;
    constexpr uint8_t CTRL_Z = 0x1A;
    constexpr uint8_t CTRL_BACKSLASH = 0x1C;
    constexpr uint8_t CTRL_BRACKET = 0x1D;
    constexpr uint8_t CTRL_CARET = 0x1E;
    constexpr uint8_t CTRL_UNDERSCORE = 0x1F;
    constexpr uint8_t LETTER_BASE = 64;
    if (b == '\r' || b == '\n') return ENTER;
    if (b == '\b' || b == DEL) return BACKSPACE;
    if (b == '\t') return TAB;
    if (b == 0) return CTRL_SPACE;
    if (b >= CTRL_A && b <= CTRL_Z)
        return {static_cast<uint16_t>(LETTER_BASE + b), LETTER_SCANS[b - CTRL_A], b,
                STATE_LEFT_CTRL};
    if (b == CTRL_BACKSLASH) return {220, 43, b, STATE_LEFT_CTRL};
    if (b == CTRL_BRACKET) return {221, 27, b, STATE_LEFT_CTRL};
    if (b == CTRL_CARET) return {54, 7, b, STATE_LEFT_CTRL | STATE_SHIFT};
    if (b == CTRL_UNDERSCORE) return {189, 12, b, STATE_LEFT_CTRL | STATE_SHIFT};
    return printable_key(b);
}

Key named_by_final(uint8_t f) {
    switch (f) {
    case 'A': return UP;
    case 'B': return DOWN;
    case 'C': return RIGHT;
    case 'D': return LEFT;
    case 'H': return HOME;
    case 'F': return END;
    case 'E': return KEYPAD_5;
    case 'P': return FKEY[1];
    case 'Q': return FKEY[2];
    case 'R': return FKEY[3];
    case 'S': return FKEY[4];
    default: return NO_KEY;
    }
}

Key numbered_key(int32_t n, bool* shifted) {
    *shifted = false;
    switch (n) {
    case 1:
    case 7: return HOME;
    case 2: return INSERT;
    case 3: return DELETE;
    case 4:
    case 8: return END;
    case 5: return PAGE_UP;
    case 6: return PAGE_DOWN;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15: return FKEY[n - 10];
    case 17:
    case 18:
    case 19:
    case 20:
    case 21: return FKEY[n - 11];
    case 23:
    case 24: return FKEY[n - 12];
    case 25:
    case 26: *shifted = true; return FKEY[n - 22];
    case 28:
    case 29: *shifted = true; return FKEY[n - 23];
    case 31:
    case 32:
    case 33:
    case 34: *shifted = true; return FKEY[n - 24];
    default: return NO_KEY;
    }
}

uint8_t cp437_byte(uint32_t codepoint) {
    constexpr int32_t BYTES = 256;
    for (int32_t b = ASCII_END; b < BYTES; ++b)
        if (cp437::CODEPOINTS[b] == codepoint) return static_cast<uint8_t>(b);
    return QUESTION_MARK;
}

} // namespace plat
