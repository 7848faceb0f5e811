// Terminal input bytes to console key events.
#include "platform/posix/key_decoder.h"

#include "platform/posix/cp437.h"
#include "platform/posix/key_tables.h"
#include "platform/posix/posix.h"

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
// The bits a UTF-8 continuation byte carries.
constexpr int32_t UTF8_PAYLOAD_BITS = 6;
constexpr uint8_t UTF8_PAYLOAD = 0x3F;

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

// Ends a sequence that gives no key.
bool drop(KeyDecoder& d) {
    d.alt = false;
    reset(d, KeyState::GROUND);
    return false;
}

// Moves to STATE with nothing of a sequence kept, waiting for the next byte.
bool enter(KeyDecoder& d, KeyState state) {
    reset(d, state);
    return false;
}

// Delivers KEY with modifier parameter M (and the Alt of an ESC prefix).
bool deliver(KeyDecoder& d, Key key, int32_t m, InputEvent* event) {
    uint32_t mods = 0;
    const bool alt = d.alt;
    drop(d);
    if (key.vk == 0 && key.ch == 0) return false;
    if (!modifier_state(m, &mods)) return false;
    if (alt) mods |= STATE_LEFT_ALT;
    *event = InputEvent{EVENT_TYPE_KEY, true, key.vk, key.scan, key.ch, key.state | mods};
    return true;
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
    if (code == ESC) return deliver(d, ESCAPE_KEY, m, event);
    if (code <= 0 || code >= ASCII_END) return drop(d);
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
    if (f3) return deliver(d, fkey(3), trailing_modifier(d), event);
    return drop(d);
}

// CSI n ~ with the modifier as its second parameter, or rxvt's n $, n ^ and
// n @ (Shift, Ctrl, Ctrl+Shift). CSI 27 ; m ; code ~ is an ordinary key.
bool numbered(KeyDecoder& d, uint8_t f, InputEvent* event) {
    const int32_t n = param(d, 0);
    if (f == '~' && n == OTHER_KEYS && d.param_count >= 3)
        return coded_key(d, param(d, 2), param(d, 1), event);
    if (n == PASTE_START || n == PASTE_END) return drop(d);
    const int32_t m = f == '$'   ? MOD_SHIFT_ONLY
                      : f == '^' ? MOD_CTRL_ONLY
                      : f == '@' ? MOD_CTRL_SHIFT
                                 : (d.param_count >= 2 ? param(d, 1) : MOD_NONE);
    return deliver(d, numbered_key(n), m, event);
}

// A mouse report (CSI M) or a highlight report (CSI t, CSI T), which has no
// parameters: the COUNT raw bytes after it are skipped.
bool skip_raw(KeyDecoder& d, int32_t count) {
    if (d.param_count != 0) return drop(d);
    drop(d);
    d.raw_left = count;
    return enter(d, KeyState::RAW);
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
    case '@': return numbered(d, f, event);
    case 'M': return skip_raw(d, MOUSE_RAW_BYTES);
    case 't': return skip_raw(d, HIGHLIGHT_RAW_BYTES);
    case 'T': return skip_raw(d, HIGHLIGHT_END_RAW_BYTES);
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

// A byte outside printable ASCII inside a sequence. A control byte is acted
// on as its key and the sequence goes on: a key typed while a sequence
// arrives is not lost. ESC, CAN, SUB and bytes above ASCII end the sequence.
bool is_interruption(uint8_t b) {
    return b < cp437::FIRST_ASCII || b >= ASCII_END;
}

bool interrupted(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (b >= ASCII_END || b == ESC || b == CAN || b == SUB) return abort_with(d, b, event);
    const Key key = byte_key(b);
    *event = InputEvent{EVENT_TYPE_KEY, true, key.vk, key.scan, key.ch, key.state};
    return true;
}

bool ground(KeyDecoder& d, uint8_t b, InputEvent* event) {
    constexpr uint8_t UTF8_TWO = 0xC2, UTF8_THREE = 0xE0, UTF8_FOUR = 0xF0, UTF8_END = 0xF5;
    if (b == ESC) return enter(d, KeyState::ESCAPE);
    if (b < ASCII_END) return deliver(d, byte_key(b), MOD_NONE, event);
    // Terminals send their controls in the 7-bit forms unless told otherwise:
    // in a single-byte locale 0x80-0x9F are characters like the rest.
    if (!d.utf8) return deliver(d, Key{0, 0, b, 0}, MOD_NONE, event);
    if (b >= UTF8_TWO && b < UTF8_END) {
        d.utf8_left = b < UTF8_THREE ? 1 : b < UTF8_FOUR ? 2 : 3;
        // A lead byte keeps one bit fewer for each continuation byte.
        d.codepoint = b & (UTF8_PAYLOAD >> d.utf8_left);
        return enter(d, KeyState::UTF8);
    }
    return drop(d); // not UTF-8
}

// After ESC: a sequence begins (CSI, SS3, or a DCS, OSC, SOS, PM or APC
// string), or the next key comes with Alt.
bool escape(KeyDecoder& d, uint8_t b, InputEvent* event) {
    const bool string = b == 'P' || b == ']' || b == 'X' || b == '^' || b == '_';
    if (string || b == '[' || b == 'O') {
        d.intro = b;
        return enter(d, string ? KeyState::STRING : b == '[' ? KeyState::CSI : KeyState::SS3);
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
}

// Inside ESC [ ...: an optional private marker, parameters, intermediates,
// then the final byte.
bool csi(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (is_interruption(b)) return interrupted(d, b, event);
    if (b == DEL) return false; // ignored inside a sequence
    if (++d.length > KEY_SEQUENCE_MAX) return enter(d, KeyState::CSI_IGNORE);
    if (b == '[' && d.length == 1) return enter(d, KeyState::LINUX_FKEY);
    if (b == '$' && d.param_count > 0 && !d.intermediate) return csi_final(d, b, event);
    if (b >= '0' && b <= '?') {
        const bool marker = b >= '<';
        if (d.intermediate || b == ':' || (marker && d.length != 1))
            return enter(d, KeyState::CSI_IGNORE);
        if (marker) d.marker = b;
        if (!marker) add_parameter_byte(d, b);
        return false;
    }
    if (b < '0') {
        d.intermediate = true;
        return false;
    }
    return csi_final(d, b, event);
}

// Inside a malformed or overlong CSI: skipped up to its final byte.
bool csi_ignore(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (is_interruption(b)) return interrupted(d, b, event);
    if (is_final(b)) return drop(d);
    return false;
}

// The Linux console's F1..F5: ESC [ [ A..E.
bool linux_fkey(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (is_interruption(b)) return interrupted(d, b, event);
    if (b >= 'A' && b <= 'E') return deliver(d, fkey(b - 'A' + 1), MOD_NONE, event);
    if (is_final(b)) return drop(d);
    return abort_with(d, b, event);
}

// Inside ESC O ...: an optional modifier, then the final byte.
bool ss3(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (is_interruption(b)) return interrupted(d, b, event);
    if (++d.length > KEY_SEQUENCE_MAX) return drop(d);
    if ((b >= '0' && b <= '9') || b == ';') {
        add_parameter_byte(d, b);
        return false;
    }
    if (is_final(b)) return ss3_final(d, b, event);
    return abort_with(d, b, event);
}

// Inside a DCS, OSC, SOS, PM or APC string: skipped up to BEL or ST (ESC \).
bool control_string(KeyDecoder& d, uint8_t b, InputEvent* event) {
    if (d.state == KeyState::STRING_ESC) {
        if (b == '\\') return drop(d);
        // An ESC that is no string terminator starts a new sequence.
        drop(d);
        d.state = KeyState::ESCAPE;
        return escape(d, b, event);
    }
    if (b == BEL) return drop(d);
    if (b == ESC) d.state = KeyState::STRING_ESC;
    ++d.length;
    return false;
}

bool utf8_continuation(KeyDecoder& d, uint8_t b, InputEvent* event) {
    constexpr uint8_t CONTINUATION_MASK = 0xC0, CONTINUATION = 0x80;
    if ((b & CONTINUATION_MASK) != CONTINUATION) return abort_with(d, b, event);
    d.codepoint = (d.codepoint << UTF8_PAYLOAD_BITS) | (b & UTF8_PAYLOAD);
    if (--d.utf8_left > 0) return false;
    if (d.codepoint < ASCII_END) return drop(d); // overlong
    return deliver(d, Key{0, 0, cp437_byte(d.codepoint), 0}, MOD_NONE, event);
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
    switch (d.state) {
    case KeyState::GROUND: return ground(d, b, event);
    case KeyState::ESCAPE: return escape(d, b, event);
    case KeyState::CSI: return csi(d, b, event);
    case KeyState::CSI_IGNORE: return csi_ignore(d, b, event);
    case KeyState::LINUX_FKEY: return linux_fkey(d, b, event);
    case KeyState::SS3: return ss3(d, b, event);
    case KeyState::STRING:
    case KeyState::STRING_ESC: return control_string(d, b, event);
    case KeyState::RAW:
        if (--d.raw_left <= 0) drop(d);
        return false;
    case KeyState::UTF8: return utf8_continuation(d, b, event);
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
        if (d.length != 0 || d.intro == 0) return drop(d);
        d.alt = true;
        return deliver(d, printable_key(d.intro), MOD_NONE, event);
    default: return drop(d);
    }
}

} // namespace plat
