// Decimal text of an integer, and an unsigned number read from a text.
#include "runtime/textfile/convert.h"

#include <cstring>

constexpr uint32_t HEXADECIMAL = 16;
constexpr uint32_t BINARY = 2;
constexpr uint32_t OCTAL = 8;
constexpr uint32_t FIRST_LETTER_DIGIT = 10;
constexpr uint32_t MAXUNSIGNED = 4294967295U;
constexpr char LEASTINT_TEXT[] = "-2147483648";
constexpr uint32_t NOT_A_DIGIT = 16;

void INT_STR(int32_t VALUE, COUNTEDSTRING& TARGET) {
    // One digit, as every cell of the grid: no division.
    if (VALUE >= 0 && VALUE < DECIMAL) {
        TARGET.CHARS[0] = static_cast<uint8_t>('0' + VALUE);
        TARGET.LENGTH = 1;
        return;
    }
    if (VALUE == INT32_MIN) {
        TARGET.LENGTH = sizeof LEASTINT_TEXT - 1;
        std::memcpy(TARGET.CHARS, LEASTINT_TEXT, TARGET.LENGTH);
        return;
    }
    uint8_t DIGITS[sizeof LEASTINT_TEXT];
    int32_t N = 0;
    int32_t MAGNITUDE = VALUE < 0 ? -VALUE : VALUE;
    do {
        DIGITS[N++] = static_cast<uint8_t>('0' + MAGNITUDE % DECIMAL);
        MAGNITUDE /= DECIMAL;
    } while (MAGNITUDE != 0);
    int32_t LEN = 0;
    if (VALUE < 0) TARGET.CHARS[LEN++] = '-';
    while (N > 0) TARGET.CHARS[LEN++] = DIGITS[--N];
    TARGET.LENGTH = static_cast<uint8_t>(LEN);
}

// Skips blanks, a sign and a base prefix. Returns the 1-based position of the
// first digit; sets NEGATIVE and BASE.
static int32_t INITVAL(const COUNTEDSTRING& TEXT, bool& NEGATIVE, uint32_t& BASE) {
    const int32_t LEN = TEXT.LENGTH;
    int32_t POS = 1;
    auto AT = [&](int32_t P) { return TEXT.CHARS[P - 1]; };
    while (POS <= LEN && (AT(POS) == '\t' || AT(POS) == ' ')) ++POS;
    NEGATIVE = false;
    if (POS <= LEN && AT(POS) == '+') {
        ++POS;
    } else if (POS <= LEN && AT(POS) == '-') {
        NEGATIVE = true;
        ++POS;
    }
    BASE = DECIMAL;
    if (POS <= LEN) {
        switch (AT(POS)) {
        case '$':
            BASE = HEXADECIMAL;
            ++POS;
            while (POS < LEN && AT(POS) == '0') ++POS; // never the last character
            break;
        case '%':
            BASE = BINARY;
            ++POS;
            break;
        case '&':
            BASE = OCTAL;
            ++POS;
            while (POS < LEN && AT(POS) == '0') ++POS;
            break;
        default: break;
        }
    }
    return POS;
}

static uint32_t DIGITVALUE(uint8_t C) {
    if (C >= '0' && C <= '9') return static_cast<uint32_t>(C - '0');
    if (C >= 'A' && C <= 'F') return static_cast<uint32_t>(C - 'A' + FIRST_LETTER_DIGIT);
    if (C >= 'a' && C <= 'f') return static_cast<uint32_t>(C - 'a' + FIRST_LETTER_DIGIT);
    return NOT_A_DIGIT;
}

uint32_t VALUNSIGNEDINT(const COUNTEDSTRING& TEXT, int32_t& CODE) {
    bool NEGATIVE = false;
    uint32_t BASE = DECIMAL;
    int32_t POS = INITVAL(TEXT, NEGATIVE, BASE);
    if (NEGATIVE || POS > TEXT.LENGTH) {
        CODE = POS;
        return 0;
    }
    uint32_t VALUE = 0;
    for (; POS <= TEXT.LENGTH; ++POS) {
        uint32_t DIGIT = DIGITVALUE(TEXT.CHARS[POS - 1]);
        if (DIGIT >= BASE || (MAXUNSIGNED - DIGIT) / BASE < VALUE) {
            CODE = POS;
            return 0;
        }
        VALUE = VALUE * BASE + DIGIT;
    }
    CODE = 0;
    return VALUE;
}
