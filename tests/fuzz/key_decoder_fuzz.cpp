// The terminal key decoder on arbitrary byte streams: never more keys than
// bytes, every byte consumed (after the input goes quiet the decoder is
// between keys again), every key well formed, and text without escapes or
// bytes above 0x7F typed key for key.
#include "fuzz.h"
#include "platform/posix/key_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // First byte: UTF-8 input or not, and where the input goes quiet.
    if (size < 1) return 0;
    const bool utf8 = (data[0] & 1) != 0;
    const size_t quiet_every = data[0] >> 1; // 0: only at the end
    data += 1;
    size -= 1;

    plat::KeyDecoder d = plat::key_decoder_new(utf8);
    size_t keys = 0;
    bool plain_text = true;
    plat::InputEvent event{};
    auto check = [&](const plat::InputEvent& e) {
        FUZZ_CHECK(e.event_type == plat::EVENT_TYPE_KEY && e.key_down, "not a key press");
        FUZZ_CHECK(e.virtual_key != 0 || e.ch != 0, "a key with neither code nor character");
        ++keys;
    };
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b == 0x1B || b >= 0x80) plain_text = false;
        if (plat::key_decode(d, b, &event)) check(event);
        if (quiet_every != 0 && i % quiet_every == quiet_every - 1 &&
            plat::key_decoder_waiting(d) && plat::key_decode_quiet(d, &event))
            check(event);
    }
    if (plat::key_decoder_waiting(d) && plat::key_decode_quiet(d, &event)) check(event);
    FUZZ_CHECK(!plat::key_decoder_waiting(d), "bytes left inside a sequence");
    FUZZ_CHECK(keys <= size, "%zu keys from %zu bytes", keys, size);
    if (plain_text) FUZZ_CHECK(keys == size, "%zu keys from %zu plain bytes", keys, size);
    return 0;
}
