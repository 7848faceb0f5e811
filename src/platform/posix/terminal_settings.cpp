// What the terminal layer takes from the environment: the size of a
// terminal that reports none, the wait after a lone Esc, and whether to
// send colours.
#include <cstdint>

#include "platform/posix/posix.h"

namespace plat::term {

namespace {

// A whole decimal number in 1..MAX, or 0 for anything else.
int32_t positive_number(const char* text, int32_t max) {
    if (text == nullptr || *text == '\0') return 0;
    int64_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 0;
        value = value * DECIMAL + (*p - '0');
        if (value > max) return 0;
    }
    return static_cast<int32_t>(value);
}

// One side of the buffer: the terminal's own when it reports one, else the
// environment's, else the default; never more than MAX.
int32_t side(uint32_t reported, const char* env, int32_t fallback, int32_t max) {
    if (reported > 0)
        return reported < static_cast<uint32_t>(max) ? static_cast<int32_t>(reported) : max;
    const int32_t from_env = positive_number(env, INT32_MAX);
    if (from_env > 0) return from_env < max ? from_env : max;
    return fallback;
}

} // namespace

ScreenSize screen_size(uint32_t columns, uint32_t rows, const char* env_columns,
                       const char* env_lines) {
    return ScreenSize{side(columns, env_columns, DEFAULT_COLUMNS, MAX_COLUMNS),
                      side(rows, env_lines, DEFAULT_ROWS, MAX_ROWS)};
}

int32_t escape_wait_ms(const char* escdelay) {
    const int32_t ms = positive_number(escdelay, ESCAPE_WAIT_MAX_MS);
    return ms > 0 ? ms : ESCAPE_WAIT_DEFAULT_MS;
}

bool colours_off(const char* no_color) {
    return no_color != nullptr && *no_color != '\0';
}

} // namespace plat::term
