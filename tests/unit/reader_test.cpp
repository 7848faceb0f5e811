// The puzzle reader's tolerance of what a puzzle file may hold.
#include "solver_fixture.h"

namespace {

const Grid PUZZLE =
    parse_grid("53..7....6..195....98....6.8...6...34..8.3..17...2...6.6....28....419..5....8..79");

using Reader = InScratchDir;

TEST_F(Reader, LayoutsThatReadAsTheSameGrid) {
    const std::string lf = "5 3 0 0 7 0 0 0 0\n6 0 0 1 9 5 0 0 0\n0 9 8 0 0 0 0 6 0\n"
                           "8 0 0 0 6 0 0 0 3\n4 0 0 8 0 3 0 0 1\n7 0 0 0 2 0 0 0 6\n"
                           "0 6 0 0 0 0 2 8 0\n0 0 0 4 1 9 0 0 5\n0 0 0 0 8 0 0 7 9\n";
    auto replace_all = [](std::string s, const std::string& from, const std::string& to) {
        for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
            s.replace(p, from.size(), to);
        return s;
    };
    std::string long_lines;
    for (size_t p = 0, q; (q = lf.find('\n', p)) != std::string::npos; p = q + 1)
        long_lines +=
            lf.substr(p, q - p) + " ignored past column 17" + std::string(300, 'z') + "\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"LF", lf},
        {"CR LF", replace_all(lf, "\n", "\r\n")},
        {"CR", replace_all(lf, "\n", "\r")},
        {"full stops for empty cells", replace_all(lf, "0", ".")},
        {"tabs between cells", replace_all(lf, " ", "\t")},
        {"other separators", replace_all(lf, " ", "|")},
        {"long lines", long_lines},
        {"extra lines", lf + "9 9 9 9 9 9 9 9 9\nanything\n"},
        {"last line without a line end", lf.substr(0, lf.size() - 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_puzzle(c.bytes), PUZZLE);
    }
}

TEST_F(Reader, EveryCellCharacterMapsToZeroToNine) {
    for (int b = 0; b < 256; ++b) {
        if (b == '\r' || b == '\n') continue;
        const std::string line = std::string(1, static_cast<char>(b)) + " 1 2 3 4 5 6 7 8\n";
        Grid g = read_puzzle(line);
        const uint8_t expected = (b >= '1' && b <= '9') ? static_cast<uint8_t>(b - '0') : 0;
        EXPECT_EQ(g[0][0], expected) << "byte " << b;
        EXPECT_EQ(g[0][8], 8);
    }
}

TEST_F(Reader, ShortAndMissingLinesAreEmptyCells) {
    // A short line after a long one must not pick up the long line's bytes.
    const std::string bytes = "1 2 3 4 5 6 7 8 9\n9 8\n\n4 5 6 7 8 9 1 2 3\n";
    Grid expected{};
    expected[0] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    expected[1] = {9, 8, 0, 0, 0, 0, 0, 0, 0};
    expected[3] = {4, 5, 6, 7, 8, 9, 1, 2, 3};
    EXPECT_EQ(read_puzzle(bytes), expected);
}

TEST_F(Reader, EmptyFileIsTheEmptyGrid) {
    EXPECT_EQ(read_puzzle(""), Grid{});
}

TEST_F(Reader, FileIsClosedAfterReading) {
    read_puzzle("1\n");
    EXPECT_EQ(FI.MODE, FMCLOSED);
}

} // namespace
