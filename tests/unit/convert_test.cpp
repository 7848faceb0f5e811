// The two conversions.
#include "helpers.h"

#include "runtime/textfile/convert.h"

namespace {

TEST(IntStr, DecimalText) {
    const struct {
        int32_t value;
        const char* text;
    } cases[] = {{0, "0"},
                 {7, "7"},
                 {-5, "-5"},
                 {9, "9"},
                 {10, "10"},
                 {-1, "-1"},
                 {INT32_MAX, "2147483647"},
                 {INT32_MIN, "-2147483648"},
                 {-2147483647, "-2147483647"}};
    for (const auto& c : cases) {
        COUNTEDSTRING s{};
        INT_STR(c.value, s);
        EXPECT_EQ(text_of(s), c.text);
    }
}

TEST(ValUnsignedInt, ValuesAndCodes) {
    const struct {
        std::string text;
        uint32_t value;
        int32_t code;
    } cases[] = {
        {"12", 12, 0},
        {" 7", 7, 0},
        {"\t 7", 7, 0},
        {"$1F", 31, 0},
        {"$1f", 31, 0},
        {"%101", 5, 0},
        {"&17", 15, 0},
        {"+5", 5, 0},
        {"-1", 0, 2},
        {"4294967295", 4294967295U, 0},
        {"4294967296", 0, 10},
        {"1 ", 0, 2},
        {"", 0, 1},
        {"$00010", 16, 0},
        {"$0", 0, 0},
        {"&0", 0, 0},
        {"$", 0, 2},
        {"%2", 0, 2},
        {"&8", 0, 2},
        {"12a", 0, 3},
        {"$FFFFFFFF", 4294967295U, 0},
        {"$100000000", 0, 10},
        {"+", 0, 2},
        {" ", 0, 2},
    };
    for (const auto& c : cases) {
        int32_t code = -99;
        EXPECT_EQ(VALUNSIGNEDINT(counted(c.text), code), c.value) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
}

TEST(ValUnsignedInt, EveryOneCharacterText) {
    for (int b = 0; b < 256; ++b) {
        const std::string text(1, static_cast<char>(b));
        int32_t code = -99;
        uint32_t value = VALUNSIGNEDINT(counted(text), code);
        if (b >= '0' && b <= '9') {
            EXPECT_EQ(value, static_cast<uint32_t>(b - '0'));
            EXPECT_EQ(code, 0);
        } else {
            const bool prefix =
                std::string("\t +-$%&").find(static_cast<char>(b)) != std::string::npos;
            EXPECT_EQ(value, 0u) << b;
            EXPECT_EQ(code, prefix ? 2 : 1) << b;
        }
    }
}

} // namespace
