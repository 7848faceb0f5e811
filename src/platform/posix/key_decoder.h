// Terminal input bytes to console key events: what a terminal sends for each
// key (characters, control bytes, escape sequences in their common forms)
// becomes the key press a console would report for the same key on a US
// keyboard. Pure: no I/O, no clock. The caller feeds bytes one at a time and
// tells the decoder when the input has gone quiet in the middle of a
// sequence (a lone Esc, or a sequence cut short).
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace plat {

// The byte that opens an escape sequence.
constexpr uint8_t ESC = 0x1B;

// Longest escape sequence kept; the rest of a longer one is skipped.
constexpr int32_t KEY_SEQUENCE_MAX = 64;
// Most numeric parameters of a sequence that are looked at.
constexpr int32_t KEY_PARAMS_MAX = 4;

enum class KeyState : uint8_t {
    GROUND,     // between keys
    ESCAPE,     // after ESC
    CSI,        // inside ESC [ ...
    CSI_IGNORE, // inside a malformed or overlong CSI, up to its final byte
    LINUX_FKEY, // after ESC [ [ : one more byte names F1..F5
    SS3,        // inside ESC O ...
    STRING,     // inside a DCS, OSC, SOS, PM or APC string, up to ST or BEL
    STRING_ESC, // ESC seen inside a string: ST if '\' follows
    RAW,        // skipping the raw bytes of a mouse report
    UTF8,       // inside a UTF-8 encoded character
};

struct KeyDecoder {
    KeyState state;
    bool utf8;                      // input is UTF-8; otherwise every byte is a character
    bool alt;                       // an ESC came before the current key
    uint8_t intro;                  // the byte that opened an ESC string, for Alt+that byte
    int32_t length;                 // bytes of the current sequence so far
    int32_t params[KEY_PARAMS_MAX]; // numeric parameters seen
    int32_t param_count;            // parameters started
    uint8_t marker;                 // private marker (< = > ?), 0 if none
    bool intermediate;              // an intermediate byte was seen
    int32_t raw_left;               // raw bytes still to skip
    uint32_t codepoint;             // UTF-8 character being gathered
    int32_t utf8_left;              // continuation bytes still expected
};

// A decoder between keys.
KeyDecoder key_decoder_new(bool utf8);

// Decodes one input byte. Returns true and fills EVENT when a key is complete.
bool key_decode(KeyDecoder& d, uint8_t byte, InputEvent* event);

// True while the decoder is inside a sequence: the caller waits a little for
// more input, then calls key_decode_quiet if none came.
bool key_decoder_waiting(const KeyDecoder& d);

// The input went quiet inside a sequence: a lone Esc, Alt with the byte that
// opened the sequence, or nothing (an incomplete sequence is dropped).
bool key_decode_quiet(KeyDecoder& d, InputEvent* event);

} // namespace plat
