// Terminal input bytes to console key events.
#include "platform/posix/key_decoder.h"

#include "platform/decimal.h"
#include "platform/posix/cp437.h"
#include "platform/posix/key_tables.h"

namespace plat {

namespace {

constexpr uint8_t CAN = 0x18;
constexpr uint8_t SUB = 0x1A;
constexpr uint8_t BEL = 0x07;
constexpr int32_t PARAM_LIMIT = 100000; // larger numbers are kept at this
// Modifier parameter: 1 + Shift 1 + Alt 2 + Ctrl 4 + Meta 8.
constexpr int32_t MOD_NONE = 1;
constexpr int32_t MOD_MAX = 16;
constexpr int32_t MOD_SHIFT = 1;
constexpr int32_t MOD_ALT = 2;
constexpr int32_t MOD_CTRL = 4;
constexpr int32_t MOD_META = 8;
constexpr int32_t MOD_CTRL_SHIFT = 1 + MOD_SHIFT + MOD_CTRL;
constexpr int32_t MOD_SHIFT_ONLY = 1 + MOD_SHIFT;
constexpr int32_t MOD_CTRL_ONLY = 1 + MOD_CTRL;
// Raw bytes after the mouse reports that break the sequence grammar.
constexpr int32_t MOUSE_RAW_BYTES = 3;
constexpr int32_t HIGHLIGHT_RAW_BYTES = 2;
constexpr int32_t HIGHLIGHT_END_RAW_BYTES = 6;
// Key numbers of CSI n ~ that are not keys.
constexpr int32_t PASTE_START = 200;
constexpr int32_t PASTE_END = 201;
constexpr int32_t OTHER_KEYS = 27; // CSI 27 ; m ; code ~

// The control key state of a modifier parameter; false if it is none.
bool modifier_state(int32_t m, uint32_t* state) {
    if (m == 0) m = MOD_NONE;
    if (m < MOD_NONE || m > MOD_MAX) return false;
    const int32_t bits = m - 1;
    *state = 0;
    if ((bits & MOD_SHIFT) != 0) *state |= STATE_SHIFT;
    if ((bits & (MOD_ALT | MOD_META)) != 0) *state |= STATE_LEFT_ALT;
    if ((bits & MOD_CTRL) != 0) *state |= STATE_LEFT_CTRL;
    return true;
}

void reset(KeyDecoder& d, KeyState state) {
    d.state = state;
    d.length = 0;
    d.param_count = 0;
    d.marker = 0;
    d.intermediate = false;
    for (int32_t& p : d.params) p = 0;
}

// Delivers KEY with modifier parameter M (and the Alt of an ESC prefix).
bool deliver(KeyDecoder& d, Key key, int32_t m, InputEvent* event) {
    uint32_t mods = 0;
    const bool alt = d.alt;
    d.alt = false;
    reset(d, KeyState::GROUND);
    if (key.vk == 0 && key.ch == 0) return false;
    if (!modifier_state(m, &mods)) return false;
    if (alt) mods |= STATE_LEFT_ALT;
    *event = InputEvent{EVENT_TYPE_KEY, true, key.vk, key.scan, key.ch, key.state | mods};
    return true;
}

bool drop(KeyDecoder& d) {
    d.alt = false;
    reset(d, KeyState::GROUND);
    return false;
}

int32_t param(const KeyDecoder& d, int32_t i) {
    return i < d.param_count && i < KEY_PARAMS_MAX ? d.params[i] : 0;
}

// The modifier of a key that has no parameter of its own: the last of two or
// more parameters, or the only one.
int32_t trailing_modifier(const KeyDecoder& d) {
    if (d.param_count == 0) return MOD_NONE;
    return param(d, d.param_count - 1);
}

// An ordinary key sent as its character code with a modifier
// (CSI 27 ; m ; code ~ and CSI code ; m u).
bool coded_key(KeyDecoder& d, int32_t code, int32_t m, InputEvent* event) {
    if (code <= 0 || code >= ASCII_END || code == ESC) {
        if (code == ESC) return deliver(d, ESCAPE_KEY, m, event);
        return drop(d);
    }
    Key key = byte_key(static_cast<uint8_t>(code));
    uint32_t mods = 0;
    if (modifier_state(m, &mods) && (mods & STATE_LEFT_CTRL) != 0 && code >= 'a' && code <= 'z')
        key.ch = static_cast<uint8_t>(code - 'a' + 1);
    return deliver(d, key, m, event);
}

// F3, plain or modified (CSI 1 ; m R); anything else ending in R (a cursor
// position report meant for another program) is no key.
bool f3_or_report(KeyDecoder& d, InputEvent* event) {
    const bool f3 = d.param_count < 2 || (d.param_count == 2 && param(d, 0) == 1 &&
                                          param(d, 1) >= 2 && param(d, 1) <= MOD_MAX);
    if (f3) return deliver(d, FKEY[3], trailing_modifier(d), event);
    return drop(d);
}

bool csi_final(KeyDecoder& d, uint8_t f, InputEvent* event) {
    // Mouse reports, private replies and anything with intermediates are not keys.
    if (d.intermediate || (d.marker != 0 && d.marker != '>')) return drop(d);
    const Key by_final = named_by_final(f);
    if (f == 'R') return f3_or_report(d, event);
    if (by_final.vk != 0) {
        // CSI 1 ; m X: a first parameter other than 1 is no key.
        if (d.param_count >= 2 && param(d, 0) > 1) return drop(d);
        return deliver(d, by_final, trailing_modifier(d), event);
    }
    switch (f) {
    case 'G': return deliver(d, KEYPAD_5, trailing_modifier(d), event); // Linux console
    case 'Z': return deliver(d, TAB, MOD_SHIFT_ONLY, event);
    case 'a': return deliver(d, UP, MOD_SHIFT_ONLY, event);
    case 'b': return deliver(d, DOWN, MOD_SHIFT_ONLY, event);
    case 'c': return deliver(d, RIGHT, MOD_SHIFT_ONLY, event);
    case 'd': return deliver(d, LEFT, MOD_SHIFT_ONLY, event);
    case 'u': return coded_key(d, param(d, 0), param(d, 1), event);
    case '~':
    case '$':
    case '^':
    case '@': {
        const int32_t n = param(d, 0);
        if (f == '~' && n == OTHER_KEYS && d.param_count >= 3)
            return coded_key(d, param(d, 2), param(d, 1), event);
        if (n == PASTE_START || n == PASTE_END) return drop(d);
        bool shifted = false;
        const Key key = numbered_key(n, &shifted);
        int32_t m = f == '$'   ? MOD_SHIFT_ONLY
                    : f == '^' ? MOD_CTRL_ONLY
                    : f == '@' ? MOD_CTRL_SHIFT
                               : (d.param_count >= 2 ? param(d, 1) : MOD_NONE);
        if (m == 0) m = MOD_NONE;
        if (shifted) m = ((m - 1) | MOD_SHIFT) + 1;
        return deliver(d, key, m, event);
    }
    case 'M':
        if (d.param_count != 0) return drop(d);
        drop(d);
        d.state = KeyState::RAW;
        d.raw_left = MOUSE_RAW_BYTES;
        return false;
    case 't':
    case 'T':
        if (d.param_count != 0) return drop(d);
        drop(d);
        d.state = KeyState::RAW;
        d.raw_left = f == 't' ? HIGHLIGHT_RAW_BYTES : HIGHLIGHT_END_RAW_BYTES;
        return false;
    default: return drop(d); // focus reports and everything unknown
    }
}

bool ss3_final(KeyDecoder& d, uint8_t f, InputEvent* event) {
    constexpr uint8_t KEYPAD_0 = 'p';
    constexpr uint8_t KEYPAD_9 = 'y';
    const int32_t m = trailing_modifier(d);
    const Key by_final = named_by_final(f);
    if (by_final.vk != 0) return deliver(d, by_final, m, event);
    if (f >= KEYPAD_0 && f <= KEYPAD_9) {
        const int digit = f - KEYPAD_0;
        const Key key = {static_cast<uint16_t>(VKEY_NUMPAD0 + digit), KEYPAD_DIGIT_SCANS[digit],
                         static_cast<uint8_t>('0' + digit), 0};
        return deliver(d, key, m, event);
    }
    switch (f) {
    case 'M': return deliver(d, KEYPAD_ENTER, m, event);
    case 'o': return deliver(d, KEYPAD_SLASH, m, event);
    case 'j': return deliver(d, KEYPAD_STAR, m, event);
    case 'k': return deliver(d, KEYPAD_PLUS, m, event);
    case 'm': return deliver(d, KEYPAD_MINUS, m, event);
    case 'n': return deliver(d, KEYPAD_POINT, m, event);
    case 'a': return deliver(d, UP, MOD_CTRL_ONLY, event);
    case 'b': return deliver(d, DOWN, MOD_CTRL_ONLY, event);
    case 'c': return deliver(d, RIGHT, MOD_CTRL_ONLY, event);
    case 'd': return deliver(d, LEFT, MOD_CTRL_ONLY, event);
    default: return drop(d);
    }
}

// A parameter byte (digits and separators) of a CSI or SS3 sequence.
void add_parameter_byte(KeyDecoder& d, uint8_t b) {
    if (d.param_count == 0) d.param_count = 1;
    if (b == ';') {
        ++d.param_count;
        return;
    }
    int32_t i = d.param_count - 1;
    if (i >= KEY_PARAMS_MAX) return;
    const int32_t value = d.params[i] * DECIMAL + (b - '0');
    d.params[i] = value > PARAM_LIMIT ? PARAM_LIMIT : value;
}

bool is_final(uint8_t b) {
    return b >= '@' && b <= '~';
}

bool ground(KeyDecoder& d, uint8_t b, InputEvent* event);

// Leaves a sequence on a byte that does not belong to it; the byte then
// counts on its own (CAN and SUB only cancel).
bool abort_with(KeyDecoder& d, uint8_t b, InputEvent* event) {
    drop(d);
    if (b == CAN || b == SUB) return false;
    return ground(d, b, event);
}

// A control byte inside a sequence is acted on as its key, and the sequence
// goes on: a key typed while a sequence arrives is not lost.
bool control_inside(uint8_t b, InputEvent* event) {
    const Key key = byte_key(b);
    *event = InputEvent{EVENT_TYPE_KEY, true, key.vk, key.scan, key.ch, key.state};
    return true;
}

bool is_control(uint8_t b) {
    return b < cp437::FIRST_ASCII && b != ESC && b != CAN && b != SUB;
}

bool ground(KeyDecoder& d, uint8_t b, InputEvent* event) {
    constexpr uint8_t UTF8_TWO = 0xC2, UTF8_THREE = 0xE0, UTF8_FOUR = 0xF0, UTF8_END = 0xF5;
    constexpr uint8_t TWO_BITS = 0x1F, THREE_BITS = 0x0F, FOUR_BITS = 0x07;
    if (b == ESC) {
        reset(d, KeyState::ESCAPE);
        return false;
    }
    if (b < ASCII_END) return deliver(d, byte_key(b), MOD_NONE, event);
    // Terminals send their controls in the 7-bit forms unless told otherwise:
    // in a single-byte locale 0x80-0x9F are characters like the rest.
    if (!d.utf8) return deliver(d, Key{0, 0, b, 0}, MOD_NONE, event);
    if (b >= UTF8_TWO && b < UTF8_END) {
        reset(d, KeyState::UTF8);
        if (b < UTF8_THREE) {
            d.codepoint = b & TWO_BITS;
            d.utf8_left = 1;
        } else if (b < UTF8_FOUR) {
            d.codepoint = b & THREE_BITS;
            d.utf8_left = 2;
        } else {
            d.codepoint = b & FOUR_BITS;
            d.utf8_left = 3;
        }
        return false;
    }
    return drop(d); // not UTF-8
}

} // namespace

KeyDecoder key_decoder_new(bool utf8) {
    KeyDecoder d{};
    d.utf8 = utf8;
    reset(d, KeyState::GROUND);
    return d;
}

bool key_decoder_waiting(const KeyDecoder& d) {
    return d.state != KeyState::GROUND;
}

bool key_decode(KeyDecoder& d, uint8_t b, InputEvent* event) {
    constexpr uint8_t CONTINUATION_MASK = 0xC0, CONTINUATION = 0x80, SIX_BITS = 0x3F;
    constexpr int32_t SIX = 6;
    switch (d.state) {
    case KeyState::GROUND: return ground(d, b, event);

    case KeyState::ESCAPE:
        if (b == '[' || b == 'O') {
            reset(d, b == '[' ? KeyState::CSI : KeyState::SS3);
            d.intro = b;
            return false;
        }
        if (b == 'P' || b == ']' || b == 'X' || b == '^' || b == '_') {
            reset(d, KeyState::STRING);
            d.intro = b;
            return false;
        }
        if (b == ESC) {
            if (!d.alt) { // ESC ESC: Alt with what follows
                d.alt = true;
                return false;
            }
            return deliver(d, ESCAPE_KEY, MOD_NONE, event); // ESC ESC ESC: Alt+Esc
        }
        // The Linux console's Shift+Tab.
        if (b == '\t' && !d.alt) return deliver(d, TAB, MOD_SHIFT_ONLY, event);
        // ESC then a key: that key with Alt.
        d.alt = true;
        d.state = KeyState::GROUND;
        return ground(d, b, event);

    case KeyState::CSI:
        if (is_control(b)) return control_inside(b, event);
        if (b >= ASCII_END || b == ESC || b == CAN || b == SUB) return abort_with(d, b, event);
        if (b == DEL) return false; // ignored inside a sequence
        if (++d.length > KEY_SEQUENCE_MAX) {
            d.state = KeyState::CSI_IGNORE;
            return false;
        }
        if (b == '[' && d.length == 1) {
            d.state = KeyState::LINUX_FKEY;
            return false;
        }
        if (b == '$' && d.param_count > 0 && !d.intermediate) return csi_final(d, b, event);
        if (b >= '0' && b <= '?') {
            const bool marker = b >= '<';
            if (d.intermediate || b == ':' || (marker && d.length != 1)) {
                d.state = KeyState::CSI_IGNORE;
            } else if (marker) {
                d.marker = b;
            } else {
                add_parameter_byte(d, b);
            }
            return false;
        }
        if (b < '0') {
            d.intermediate = true;
            return false;
        }
        return csi_final(d, b, event);

    case KeyState::CSI_IGNORE:
        if (is_control(b)) return control_inside(b, event);
        if (b >= ASCII_END || b == ESC || b == CAN || b == SUB) return abort_with(d, b, event);
        if (is_final(b)) return drop(d);
        return false;

    case KeyState::LINUX_FKEY:
        if (is_control(b)) return control_inside(b, event);
        if (b >= 'A' && b <= 'E') return deliver(d, FKEY[b - 'A' + 1], MOD_NONE, event);
        if (is_final(b)) return drop(d);
        return abort_with(d, b, event);

    case KeyState::SS3:
        if (is_control(b)) return control_inside(b, event);
        if (b >= ASCII_END || b == ESC || b == CAN || b == SUB) return abort_with(d, b, event);
        if (++d.length > KEY_SEQUENCE_MAX) return drop(d);
        if ((b >= '0' && b <= '9') || b == ';') {
            add_parameter_byte(d, b);
            return false;
        }
        if (is_final(b)) return ss3_final(d, b, event);
        return abort_with(d, b, event);

    case KeyState::STRING:
        if (b == BEL) return drop(d);
        if (b == ESC) d.state = KeyState::STRING_ESC;
        ++d.length;
        return false;

    case KeyState::STRING_ESC:
        if (b == '\\') return drop(d);
        // An ESC that is no string terminator starts a new sequence.
        drop(d);
        d.state = KeyState::ESCAPE;
        return key_decode(d, b, event);

    case KeyState::RAW:
        if (--d.raw_left <= 0) drop(d);
        return false;

    case KeyState::UTF8:
        if ((b & CONTINUATION_MASK) != CONTINUATION) return abort_with(d, b, event);
        d.codepoint = (d.codepoint << SIX) | (b & SIX_BITS);
        if (--d.utf8_left > 0) return false;
        if (d.codepoint < ASCII_END) return drop(d); // overlong
        return deliver(d, Key{0, 0, cp437_byte(d.codepoint), 0}, MOD_NONE, event);
    }
    return drop(d);
}

bool key_decode_quiet(KeyDecoder& d, InputEvent* event) {
    switch (d.state) {
    case KeyState::ESCAPE: return deliver(d, ESCAPE_KEY, MOD_NONE, event);
    case KeyState::CSI:
    case KeyState::SS3:
    case KeyState::STRING:
        // Only the introducer came: it was Alt with that key.
        if (d.length == 0 && d.intro != 0) {
            d.alt = true;
            const Key key = printable_key(d.intro);
            return deliver(d, key, MOD_NONE, event);
        }
        return drop(d);
    default: return drop(d);
    }
}

} // namespace plat
