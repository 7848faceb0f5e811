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
// clang-format off
constexpr Punctuation PUNCTUATION[] = {
    {'1', '!', '1', 2},  {'2', '@', '2', 3},  {'3', '#', '3', 4},  {'4', '$', '4', 5},
    {'5', '%', '5', 6},  {'6', '^', '6', 7},  {'7', '&', '7', 8},  {'8', '*', '8', 9},
    {'9', '(', '9', 10}, {'0', ')', '0', 11},
    {'-', '_', VKEY_OEM_MINUS, 12},  {'=', '+', VKEY_OEM_PLUS, 13},  {'[', '{', VKEY_OEM_4, 26},
    {']', '}', VKEY_OEM_6, 27},      {';', ':', VKEY_OEM_1, 39},     {'\'', '"', VKEY_OEM_7, 40},
    {'`', '~', VKEY_OEM_3, 41},      {'\\', '|', VKEY_OEM_5, 43},    {',', '<', VKEY_OEM_COMMA, 51},
    {'.', '>', VKEY_OEM_PERIOD, 52}, {'/', '?', VKEY_OEM_2, 53},     {' ', ' ', VKEY_SPACE, 57},
};
// clang-format on

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
    if (b == '\r' || b == '\n') return ENTER;
    if (b == '\b' || b == DEL) return BACKSPACE;
    if (b == '\t') return TAB;
    if (b == 0) return CTRL_SPACE;
    if (b >= CTRL_A && b <= CTRL_Z)
        return {static_cast<uint16_t>('A' + b - CTRL_A), LETTER_SCANS[b - CTRL_A], b,
                STATE_LEFT_CTRL};
    if (b == CTRL_BACKSLASH) return {VKEY_OEM_5, 43, b, STATE_LEFT_CTRL};
    if (b == CTRL_BRACKET) return {VKEY_OEM_6, 27, b, STATE_LEFT_CTRL};
    if (b == CTRL_CARET) return {'6', 7, b, STATE_LEFT_CTRL | STATE_SHIFT};
    if (b == CTRL_UNDERSCORE) return {VKEY_OEM_MINUS, 12, b, STATE_LEFT_CTRL | STATE_SHIFT};
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
    case 'P': return fkey(1);
    case 'Q': return fkey(2);
    case 'R': return fkey(3);
    case 'S': return fkey(4);
    default: return NO_KEY;
    }
}

Key numbered_key(int32_t n) {
    // Numbers 25 and up are Shift+F3..F10.
    constexpr int32_t FIRST_SHIFTED = 25;
    struct Numbered {
        int32_t n;
        Key key;
    };
    constexpr Numbered NUMBERED[] = {
        {1, HOME},      {2, INSERT},   {3, DELETE},    {4, END},       {5, PAGE_UP},
        {6, PAGE_DOWN}, {7, HOME},     {8, END},       {11, fkey(1)},  {12, fkey(2)},
        {13, fkey(3)},  {14, fkey(4)}, {15, fkey(5)},  {17, fkey(6)},  {18, fkey(7)},
        {19, fkey(8)},  {20, fkey(9)}, {21, fkey(10)}, {23, fkey(11)}, {24, fkey(12)},
        {25, fkey(3)},  {26, fkey(4)}, {28, fkey(5)},  {29, fkey(6)},  {31, fkey(7)},
        {32, fkey(8)},  {33, fkey(9)}, {34, fkey(10)},
    };
    for (Numbered k : NUMBERED) {
        if (k.n != n) continue;
        if (n >= FIRST_SHIFTED) k.key.state |= STATE_SHIFT;
        return k.key;
    }
    return NO_KEY;
}

uint8_t cp437_byte(uint32_t codepoint) {
    constexpr int32_t BYTES = 256;
    for (int32_t b = ASCII_END; b < BYTES; ++b)
        if (cp437::CODEPOINTS[b] == codepoint) return static_cast<uint8_t>(b);
    return QUESTION_MARK;
}

} // namespace plat
