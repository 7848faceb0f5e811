// The console device on the in-memory console: window, attribute, cursor,
// control bytes, wrap and scroll, and the start-up.
#include <gtest/gtest.h>

#include "fakes/memory_console.h"
#include "runtime/console/consoledevice.h"
#include "runtime/process/process.h"
#include "runtime/textfile/filedevice.h"

namespace {

class Console : public ::testing::Test {
  protected:
    void SetUp() override { start(80, 25); }
    // The device's start-up on a fresh console of the given size.
    void start(int w, int h) {
        install_memory_console(w, h);
        INOUTRES = 0;
        CRTINIT();
    }
    void write(const std::string& text) {
        for (char c : text) WRITE_CHAR(0, OUTPUT, static_cast<uint8_t>(c));
        WRITE_END(OUTPUT);
    }
    void writeln(const std::string& text) {
        for (char c : text) WRITE_CHAR(0, OUTPUT, static_cast<uint8_t>(c));
        WRITELN_END(OUTPUT);
    }
    std::pair<int, int> cursor() {
        int32_t x, y;
        GETSCREENCURSOR(x, y);
        return {x, y};
    }
};

TEST_F(Console, StartUpTakesSizeCursorAndAttribute) {
    FAKE.reset(100, 40);
    FAKE.cursor_x = 4;
    FAKE.cursor_y = 6;
    FAKE.attribute = 0x1E;
    CRTINIT();
    EXPECT_EQ(SCREENWIDTH, 100);
    EXPECT_EQ(SCREENHEIGHT, 40);
    EXPECT_EQ(std::make_pair(WINMINX, WINMINY), std::make_pair(1, 1));
    EXPECT_EQ(std::make_pair(WINMAXX, WINMAXY), std::make_pair(100, 40));
    EXPECT_EQ(cursor(), std::make_pair(5, 7));
    EXPECT_EQ(TEXTATTR, 0x1E);
    EXPECT_TRUE(ISWINDOWSNT);
    EXPECT_EQ(OUTPUT.MODE, FMOUTPUT);
    EXPECT_EQ(INPUT.MODE, FMINPUT);
    EXPECT_EQ(OUTPUT.NAME[0], '\0');
    write("x");
    EXPECT_EQ(FAKE.at(4, 6).ch, 'x');
}

TEST_F(Console, GotoXYOutOfRangeChangesNothing) {
    GOTOXY(3, 4);
    const std::pair<int, int> cases[] = {{0, 5}, {1, 0}, {81, 1}, {1, 26}, {0, 0}};
    for (auto [x, y] : cases) {
        GOTOXY(static_cast<uint8_t>(x), static_cast<uint8_t>(y));
        EXPECT_EQ(cursor(), std::make_pair(3, 4)) << x << "," << y;
    }
    write("z");
    EXPECT_EQ(FAKE.at(2, 3).ch, 'z');
    GOTOXY(80, 25);
    EXPECT_EQ(cursor(), std::make_pair(80, 25));
    EXPECT_EQ(std::make_pair(FAKE.cursor_x, FAKE.cursor_y), std::make_pair(79, 24));
}

TEST_F(Console, TextBackgroundKeepsForegroundAndBit7) {
    const struct {
        uint8_t start, colour, expected;
    } cases[] = {{0x07, 4, 0x47},  {0x47, 0, 0x07}, {0x07, 12, 0x47}, {0x8F, 4, 0xCF},
                 {0x8F, 15, 0xFF}, {0xF3, 0, 0x83}, {0x07, 7, 0x77}};
    for (const auto& c : cases) {
        TEXTATTR = c.start;
        TEXTBACKGROUND(c.colour);
        EXPECT_EQ(TEXTATTR, c.expected) << int(c.start) << " " << int(c.colour);
    }
}

TEST_F(Console, ClrScrFillsTheWindowWithTheCurrentAttribute) {
    GOTOXY(10, 10);
    TEXTBACKGROUND(4);
    CLRSCR();
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 80; ++x) {
            ASSERT_EQ(FAKE.at(x, y).ch, ' ');
            ASSERT_EQ(FAKE.at(x, y).attr, 0x47);
        }
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
}

TEST_F(Console, ControlBytes) {
    GOTOXY(5, 3);
    write("\n");
    EXPECT_EQ(cursor(), std::make_pair(5, 4)) << "line feed keeps the column";
    write("\r");
    EXPECT_EQ(cursor(), std::make_pair(1, 4)) << "carriage return goes to column 1";
    write("\b");
    EXPECT_EQ(cursor(), std::make_pair(1, 4)) << "backspace at column 1 does nothing";
    write("ab\b");
    EXPECT_EQ(cursor(), std::make_pair(2, 4));
    EXPECT_EQ(FAKE.at(1, 3).ch, 'b') << "backspace erases nothing";
    write("\a");
    EXPECT_EQ(cursor(), std::make_pair(2, 4)) << "bell writes nothing";
    EXPECT_EQ(FAKE.at(1, 3).ch, 'b');
    write("\t\x01\x1b");
    EXPECT_EQ(FAKE.at(1, 3).ch, 9) << "tab is a cell";
    EXPECT_EQ(FAKE.at(2, 3).ch, 1);
    EXPECT_EQ(FAKE.at(3, 3).ch, 27);
    EXPECT_EQ(cursor(), std::make_pair(5, 4));
    write("\r\n");
    EXPECT_EQ(cursor(), std::make_pair(1, 5));
}

TEST_F(Console, WritingTheWindowWidthWrapsAtOnce) {
    CLRSCR();
    write(std::string(80, 'w'));
    EXPECT_EQ(cursor(), std::make_pair(1, 2));
    writeln("");
    EXPECT_EQ(cursor(), std::make_pair(1, 3));
    EXPECT_EQ(FAKE.row(1), std::string(80, ' ')) << "the row after the wrap stays empty";
}

TEST_F(Console, WritingPastTheLastRowScrollsInTheCurrentAttribute) {
    start(20, 5);
    CLRSCR();
    for (int i = 1; i <= 4; ++i) writeln("line" + std::to_string(i));
    write("line5");
    TEXTBACKGROUND(4);
    write("\r\n");
    EXPECT_EQ(FAKE.row(0).substr(0, 5), "line2");
    EXPECT_EQ(FAKE.row(3).substr(0, 5), "line5");
    EXPECT_EQ(FAKE.row(4), std::string(20, ' '));
    EXPECT_EQ(FAKE.at(1, 4).attr, 0x47) << "the new row is blank in the current attribute";
    EXPECT_EQ(FAKE.at(0, 3).attr, 0x07);
    EXPECT_EQ(cursor(), std::make_pair(1, 5)) << "the cursor stays on the last row";
}

TEST_F(Console, NineRowsAndBannerLeaveTheCursorWhereTheEchoStarts) {
    start(19, 25);
    CLRSCR();
    for (int row = 0; row < 9; ++row) writeln(std::string(18, 'a' + row));
    writeln("");
    EXPECT_EQ(cursor(), std::make_pair(1, 11));
    for (int i = 0; i < 3; ++i) writeln("banner");
    EXPECT_EQ(cursor(), std::make_pair(1, 14));
}

TEST_F(Console, VisibleCursorMovesOncePerWrite) {
    GOTOXY(1, 1);
    write("abc");
    EXPECT_EQ(std::make_pair(FAKE.cursor_x, FAKE.cursor_y), std::make_pair(3, 0));
}

TEST_F(Console, DelaySleeps) {
    DELAY(60);
    DELAY(65535);
    EXPECT_EQ(FAKE.slept_ms, 60u + 65535u);
}

TEST_F(Console, RemoveLineMovesTheLinesBelowUp) {
    start(10, 4);
    CLRSCR();
    for (const char* text : {"aaa", "bbb", "ccc"}) writeln(text);
    write("ddd");
    REMOVELINE(2);
    EXPECT_EQ(FAKE.row(0).substr(0, 3), "aaa");
    EXPECT_EQ(FAKE.row(1).substr(0, 3), "ccc");
    EXPECT_EQ(FAKE.row(2).substr(0, 3), "ddd");
    EXPECT_EQ(FAKE.row(3), std::string(10, ' '));
}

} // namespace

namespace {

using ConsoleStartUpDeathTest = Console;

TEST_F(ConsoleStartUpDeathTest, NoConsoleMessagesAndHalt1) {
    // Forked without a new exec, so that the test also runs under an emulator.
    GTEST_FLAG_SET(death_test_style, "fast");
    OPENSTDIO(STDERR, FMOUTPUT, plat::std_handle(plat::StdStream::Error));
    const struct {
        bool open_fails;
        const char* message;
    } cases[] = {{true, "No way to get the console handle"},
                 {false, "No way to get console screen buffer info"}};
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                FAKE.reset();
                FAKE.info_fails = true;
                FAKE.reopened_info_fails = true;
                FAKE.open_fails = c.open_fails;
                CRTINIT();
            },
            // Windows reads the captured text back with CR LF made LF.
            ::testing::ExitedWithCode(1), std::string("^") + c.message + "\r?\n$");
    }
}

TEST_F(Console, StandardOutputThatIsNoConsoleOpensTheConsoleByName) {
    FAKE.reset();
    FAKE.info_fails = true;
    CRTINIT();
    EXPECT_NE(OUTHANDLE, 1);
    EXPECT_EQ(OUTPUT.HANDLE, OUTHANDLE);
    write("q");
    EXPECT_EQ(FAKE.at(0, 0).ch, 'q');
}

} // namespace
