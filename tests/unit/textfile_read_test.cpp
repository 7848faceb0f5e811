// Line reading: line ends, the 255-character cut, end of file, buffer splits.
#include "helpers.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class LineReading : public ScratchDir {
  protected:
    // Reads COUNT lines of a file holding BYTES, each with READ_STRING then READLN_END.
    std::vector<std::string> read_lines(const std::string& bytes, int count, int capacity = 255) {
        write_file(path("in.txt"), bytes);
        TEXTREC T;
        ASSIGN(T, counted(path("in.txt")));
        RESET(T);
        EXPECT_EQ(INOUTRES, 0);
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) {
            COUNTEDSTRING line{};
            READ_STRING(T, line, capacity);
            READLN_END(T);
            EXPECT_EQ(INOUTRES, 0) << "line " << i;
            lines.push_back(text_of(line));
        }
        CLOSE(T);
        EXPECT_EQ(INOUTRES, 0);
        return lines;
    }
};

struct LineCase {
    const char* name;
    std::string bytes;
    int reads;
    std::vector<std::string> expected;
};

TEST_F(LineReading, LineEndsAndEndOfFile) {
    const std::string long300(300, 'x');
    const std::string exact255(255, 'y');
    const std::vector<LineCase> cases = {
        {"LF", "ab\ncd\n", 2, {"ab", "cd"}},
        {"CR", "ab\rcd\r", 2, {"ab", "cd"}},
        {"CR LF", "ab\r\ncd\r\n", 2, {"ab", "cd"}},
        {"LF CR is two line ends", "ab\n\rcd\n", 3, {"ab", "", "cd"}},
        {"last line without a line end", "ab\ncd", 2, {"ab", "cd"}},
        {"three lines read nine times", "1\n2\n3\n", 9, {"1", "2", "3", "", "", "", "", "", ""}},
        {"empty file", "", 2, {"", ""}},
        {"0x00 and 0x1A are characters",
         std::string("a\0b\x1a"
                     "c\n",
                     6),
         1,
         {std::string("a\0b\x1a"
                      "c",
                      5)}},
        {"300 characters cut to 255", long300 + "\nnext\n", 2, {std::string(255, 'x'), "next"}},
        {"exactly 255 then CR LF", exact255 + "\r\nnext\r\n", 2, {exact255, "next"}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read_lines(c.bytes, c.reads), c.expected);
    }
}

TEST_F(LineReading, CrLfSplitAcrossTwoBufferFillsIsOneLineEnd) {
    // The CR is the 256th byte, its LF the first of the next fill.
    const std::string first(255, 'a');
    EXPECT_EQ(read_lines(first + "\r\nsecond\n", 2), (std::vector<std::string>{first, "second"}));
}

TEST_F(LineReading, LineLongerThanOneBufferIsJoinedAcrossFills) {
    const std::string line = std::string(200, 'a') + std::string(50, 'b');
    EXPECT_EQ(read_lines(std::string(10, '-') + "\n" + line + "\n", 2),
              (std::vector<std::string>{std::string(10, '-'), line}));
}

TEST_F(LineReading, StoragePastTheLengthIsKept) {
    write_file(path("in.txt"), "ab\n");
    TEXTREC T;
    ASSIGN(T, counted(path("in.txt")));
    RESET(T);
    COUNTEDSTRING target = counted("123456789");
    READ_STRING(T, target, 255);
    EXPECT_EQ(target.LENGTH, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(target.CHARS), 9), "ab3456789");
    CLOSE(T);
}

TEST_F(LineReading, SmallCapacitySkipsTheRestOfTheLine) {
    EXPECT_EQ(read_lines("abcdef\nxy\n", 2, 3), (std::vector<std::string>{"abc", "xy"}));
}

// An input device over a fixed text, handed out FILL bytes at a time, that
// counts the calls of its flush operation.
struct ScriptedInput {
    std::string text;
    size_t taken = 0;
    int32_t fill = 0;
    int flushes = 0;
};
ScriptedInput scripted;

int32_t scripted_read(TEXTREC& T) {
    const size_t n = std::min(scripted.text.size() - scripted.taken, size_t(scripted.fill));
    std::memcpy(T.BUFPTR, scripted.text.data() + scripted.taken, n);
    scripted.taken += n;
    T.BUFPOS = 0;
    T.BUFEND = static_cast<int32_t>(n);
    return 0;
}

int32_t scripted_flush(TEXTREC&) {
    ++scripted.flushes;
    return 0;
}

// READLN_END calls the flush operation when it meets the end of input,
// including while it looks past a CR for its LF, and leaves the next line.
TEST(LineEnd, FlushesOnlyAtTheEndOfInput) {
    const struct {
        std::string text;
        int32_t fill;
        int flushes;
        size_t left; // bytes still unread afterwards
    } cases[] = {
        {"", 256, 1, 0},     {"ab", 256, 1, 0},   {"ab\r", 256, 1, 0}, {"ab\r", 3, 1, 0},
        {"ab\n", 256, 0, 0}, {"ab\r\n", 3, 0, 0}, {"ab\rc", 3, 0, 1},  {"ab\r\nc", 3, 0, 1},
    };
    for (const auto& c : cases) {
        scripted = ScriptedInput{c.text, 0, c.fill, 0};
        INOUTRES = 0;
        TEXTREC T;
        ASSIGN(T, STR(""));
        T.MODE = FMINPUT;
        T.INOUTFUNC = scripted_read;
        T.FLUSHFUNC = scripted_flush;
        READLN_END(T);
        const std::string name = testing::PrintToString(c.text) + " fill " + std::to_string(c.fill);
        EXPECT_EQ(INOUTRES, 0) << name;
        EXPECT_EQ(scripted.flushes, c.flushes) << name;
        EXPECT_EQ(size_t(T.BUFEND - T.BUFPOS) + c.text.size() - scripted.taken, c.left) << name;
    }
}

} // namespace
