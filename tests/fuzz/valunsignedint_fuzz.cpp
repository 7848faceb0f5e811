// The unsigned number conversion against a plain reading of its rules: the
// same value and the same code for any text of up to 255 bytes.
#include <cstring>

#include "fuzz.h"
#include "runtime/textfile/convert.h"

namespace {

struct Reading {
    uint32_t value;
    int32_t code;
};

// Positions count from 1; 64-bit arithmetic stands in for the overflow test.
Reading reference(const uint8_t* text, size_t length) {
    constexpr uint64_t LIMIT = 0xFFFFFFFFu;
    size_t pos = 1;
    auto at = [&](size_t p) { return text[p - 1]; };
    while (pos <= length && (at(pos) == ' ' || at(pos) == '\t')) ++pos;
    bool negative = false;
    if (pos <= length && (at(pos) == '+' || at(pos) == '-')) {
        negative = at(pos) == '-';
        ++pos;
    }
    uint64_t base = 10;
    if (pos <= length && (at(pos) == '$' || at(pos) == '%' || at(pos) == '&')) {
        const uint8_t prefix = at(pos);
        base = prefix == '$' ? 16 : prefix == '%' ? 2 : 8;
        ++pos;
        if (prefix != '%')
            while (pos < length && at(pos) == '0') ++pos; // never the last character
    }
    if (negative || pos > length) return {0, static_cast<int32_t>(pos)};
    uint64_t value = 0;
    for (; pos <= length; ++pos) {
        const uint8_t c = at(pos);
        uint64_t digit = 16;
        if (c >= '0' && c <= '9') digit = static_cast<uint64_t>(c - '0');
        if (c >= 'A' && c <= 'F') digit = static_cast<uint64_t>(c - 'A') + 10;
        if (c >= 'a' && c <= 'f') digit = static_cast<uint64_t>(c - 'a') + 10;
        if (digit >= base || value * base + digit > LIMIT) return {0, static_cast<int32_t>(pos)};
        value = value * base + digit;
    }
    return {static_cast<uint32_t>(value), 0};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MAXSTRLEN) size = MAXSTRLEN;
    COUNTEDSTRING text{};
    text.LENGTH = static_cast<uint8_t>(size);
    if (size > 0) std::memcpy(text.CHARS, data, size);
    int32_t code = -1;
    const uint32_t value = VALUNSIGNEDINT(text, code);
    const Reading want = reference(data, size);
    FUZZ_CHECK(value == want.value && code == want.code, "got %u code %d, want %u code %d", value,
               code, want.value, want.code);
    return 0;
}
