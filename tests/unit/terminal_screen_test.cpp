// Drawing on the terminal: what an update sends for a buffer of cells,
// read back from a pipe standing in for the terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "param_name.h"
#include "platform/posix/posix.h"

namespace {

using plat::Cell;
namespace term = plat::term;

constexpr int W = 20;
constexpr int H = 5;

class TerminalScreen : public ::testing::Test {
  protected:
    std::vector<char> out;
    int fds[2] = {-1, -1};

    void SetUp() override { attach(true); }
    void TearDown() override {
        close(fds[0]);
        close(fds[1]);
    }
    // The screen started on a pipe as on a terminal, blank in ATTR; an update's
    // bytes gather in OUT when CAPACITY is given.
    void attach(bool utf8, uint8_t attr = term::START_ATTRIBUTE, bool no_color = false,
                int32_t capacity = 0) {
        ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        term::screen_start(fds[1], {W, H},
                           {utf8, no_color, capacity > 0 ? out.data() : nullptr, capacity});
        if (attr != term::START_ATTRIBUTE) clear(attr);
    }
    void clear(uint8_t attr) {
        const plat::Rect all{0, 0, W - 1, H - 1};
        term::scroll(0, all, all, W, H, Cell{' ', attr});
    }
    void put(int x, int y, uint8_t ch, uint8_t attr = term::START_ATTRIBUTE) {
        term::write_cell(0, x, y, Cell{ch, attr});
    }
    void put_text(int x, int y, const std::string& text) {
        for (char c : text) put(x++, y, static_cast<uint8_t>(c));
    }
    // What one update sends.
    std::string update() {
        term::present();
        std::string sent;
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) sent.append(buf, static_cast<size_t>(n));
        return sent;
    }
};

// The glyphs of an update: what is left without its escape sequences and
// cursor controls.
std::string glyphs(const std::string& sent) {
    static const std::regex CONTROLS("\x1b\\[[0-9;?]*[A-Za-z]|\r");
    return std::regex_replace(sent, CONTROLS, "");
}

TEST_F(TerminalScreen, WithoutColoursTheExaminedCellIsReversed) {
    TearDown();
    attach(true, term::START_ATTRIBUTE, true);
    put(0, 0, '1');
    put(2, 0, '2', 0x47); // light grey on red
    put(4, 0, '3');
    const std::string sent = update();
    EXPECT_FALSE(std::regex_search(sent, std::regex("\x1b\\[[0-9;]*(3|4|9|10)[0-7]m"))) << sent;
    EXPECT_NE(sent.find("\x1b[7m2"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\x1b[27m"), sent.find("\x1b[7m2") + 5) << sent;
    EXPECT_EQ(glyphs(sent), "1 2 3");
}

// A signal that interrupts the write of a picture does not cut it.
void no_op(int) {}

TEST_F(TerminalScreen, AnInterruptedWriteStillSendsTheWholePicture) {
    // A terminal that takes nothing more until it is read.
    ASSERT_EQ(fcntl(fds[1], F_SETFL, O_NONBLOCK), 0);
    std::string filler(4096, 'f');
    size_t filled = 0;
    ssize_t n;
    while ((n = write(fds[1], filler.data(), filler.size())) > 0) filled += static_cast<size_t>(n);
    ASSERT_EQ(fcntl(fds[1], F_SETFL, 0), 0);
    struct sigaction sa {
    }, old{};
    sa.sa_handler = no_op; // no SA_RESTART: the blocked write returns EINTR
    sigaction(SIGUSR2, &sa, &old);
    put_text(0, 0, "1 2 3 4 5 6 7 8 9");
    put_text(0, 1, "9 8 7 6 5 4 3 2 1");
    std::thread drawing([] { term::present(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(drawing.native_handle(), SIGUSR2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::string sent;
    char buf[4096];
    ASSERT_EQ(fcntl(fds[0], F_SETFL, 0), 0);
    while (sent.size() < filled) {
        n = read(fds[0], buf, sizeof buf);
        ASSERT_GT(n, 0);
        sent.append(buf, static_cast<size_t>(n));
    }
    drawing.join();
    sigaction(SIGUSR2, &old, nullptr);
    ASSERT_EQ(fcntl(fds[0], F_SETFL, O_NONBLOCK), 0);
    while ((n = read(fds[0], buf, sizeof buf)) > 0) sent.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(glyphs(sent.substr(filled)), "1 2 3 4 5 6 7 8 99 8 7 6 5 4 3 2 1");
}

// An update larger than the output buffer is sent whenever the buffer is
// full: the terminal gets the same bytes, and nothing lands past the buffer.
TEST_F(TerminalScreen, AnUpdateLargerThanTheBufferIsSentWhenFull) {
    const uint8_t attrs[] = {0x07, 0x47, 0x1E};
    const auto draw = [&] {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                put(x, y, static_cast<uint8_t>('a' + (x + y) % 26), attrs[x % 3]);
    };
    draw();
    const std::string whole = update();
    ASSERT_GT(whole.size(), 500u);
    for (const size_t small : {size_t{1}, size_t{7}, size_t{64}}) {
        TearDown();
        const size_t guard = 16;
        out.assign(small + guard, '#');
        attach(true, term::START_ATTRIBUTE, false, static_cast<int32_t>(small));
        draw();
        EXPECT_EQ(update(), whole) << small;
        EXPECT_EQ(std::string(out.data() + small, guard), std::string(guard, '#')) << small;
    }
}

// Its cursor included: text written before the first picture runs on from it.
TEST_F(TerminalScreen, NothingWrittenLeavesTheTerminalAsItWas) {
    EXPECT_EQ(update(), "");
}

TEST_F(TerminalScreen, AClearOfAScreenStillBlankIsAPicture) {
    clear(term::START_ATTRIBUTE);
    EXPECT_EQ(update().find("\x1b[37;40m\x1b[2J"), 0u);
}

TEST_F(TerminalScreen, TheFirstDrawingErasesThenSendsOnlyTheRest) {
    put_text(0, 0, "ab");
    const std::string sent = update();
    EXPECT_EQ(sent.find("\x1b[37;40m\x1b[2J"), 0u) << sent;
    EXPECT_EQ(glyphs(sent), "ab");
}

TEST_F(TerminalScreen, AFullRedrawThatChangesTwoCellsSendsTwoCells) {
    for (int y = 0; y < H; ++y) put_text(0, y, std::string(W, static_cast<char>('a' + y)));
    update();
    for (int y = 0; y < H; ++y) put_text(0, y, std::string(W, static_cast<char>('a' + y)));
    put(3, 1, 'X');
    put(15, 4, 'Y', 0x47);
    const std::string sent = update();
    EXPECT_EQ(glyphs(sent), "XY") << sent;
    EXPECT_EQ(update(), "") << "nothing changed: nothing sent";
}

TEST_F(TerminalScreen, TheLastColumnLeavesTheCursorPlaceUnknown) {
    // After the last column the terminal may wrap or not: the next row is
    // reached by an absolute move, never by a relative one.
    put(W - 1, 0, 'e');
    put(0, 1, 'n');
    update();
    put(W - 1, 2, 'E');
    put(0, 3, 'N');
    const std::string sent = update();
    EXPECT_NE(sent.find("E\x1b[4;1HN"), std::string::npos) << sent;
}

struct ColourCase {
    const char* name;
    uint8_t attr;
    const char* sgr;
};

void PrintTo(const ColourCase& c, std::ostream* os) {
    *os << c.name;
}

const ColourCase COLOUR_CASES[] = {
    {"light grey on black", 0x07, "\x1b[37;40m"},  {"light grey on red", 0x47, "\x1b[37;41m"},
    {"yellow on blue", 0x1E, "\x1b[93;44m"},       {"light red on black", 0x0C, "\x1b[91;40m"},
    {"blue on green", 0x21, "\x1b[34;42m"},        {"black on brown", 0x60, "\x1b[30;43m"},
    {"white on light blue", 0x9F, "\x1b[97;104m"}, {"cyan on magenta", 0x53, "\x1b[36;45m"},
};

class Colours : public TerminalScreen, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(Colours, MapTheConsoleBitsToTheTerminalsColours) {
    const ColourCase& c = GetParam();
    TearDown();
    attach(true, c.attr);
    put(0, 0, 'x', c.attr);
    EXPECT_EQ(update().find(std::string(c.sgr) + "\x1b[2J"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Attributes, Colours, ::testing::ValuesIn(COLOUR_CASES),
                         [](const ::testing::TestParamInfo<ColourCase>& info) {
                             return param_name(info.param.name);
                         });

struct GlyphCase {
    const char* name;
    uint8_t ch;
    const char* utf8;
    const char* ascii;
};

void PrintTo(const GlyphCase& c, std::ostream* os) {
    *os << c.name;
}

const GlyphCase GLYPH_CASES[] = {
    {"letter", 'A', "A", "A"},
    {"NUL as a blank", 0x00, " ", " "},
    {"bell", 0x07, "\xe2\x80\xa2", "?"},
    {"backspace", 0x08, "\xe2\x97\x98", "?"},
    {"line feed", 0x0A, "\xe2\x97\x99", "?"},
    {"carriage return", 0x0D, "\xe2\x99\xaa", "?"},
    {"escape", 0x1B, "\xe2\x86\x90", "?"},
    {"delete", 0x7F, "\xe2\x8c\x82", "?"},
    {"e acute", 0x82, "\xc3\xa9", "?"},
    {"full block", 0xDB, "\xe2\x96\x88", "?"},
    {"no-break space", 0xFF, "\xc2\xa0", "?"},
};

class Glyphs : public TerminalScreen, public ::testing::WithParamInterface<GlyphCase> {};

TEST_P(Glyphs, EveryByteShowsItsGlyphAndNoControlByteIsSent) {
    const GlyphCase& c = GetParam();
    for (bool utf8 : {true, false}) {
        TearDown();
        attach(utf8);
        put(0, 0, c.ch);
        put(1, 0, '|');
        const std::string sent = update();
        EXPECT_EQ(glyphs(sent), std::string(utf8 ? c.utf8 : c.ascii) + "|") << utf8;
        for (size_t i = 0; i < sent.size(); ++i) {
            const auto b = static_cast<uint8_t>(sent[i]);
            EXPECT_TRUE(b >= 0x20 || b == 0x1B || b == '\r') << "byte " << int(b) << " at " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, Glyphs, ::testing::ValuesIn(GLYPH_CASES),
                         [](const ::testing::TestParamInfo<GlyphCase>& info) {
                             return param_name(info.param.name);
                         });

} // namespace
