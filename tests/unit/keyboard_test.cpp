// The keyboard and the line editor on the in-memory console: scripted key
// events, releases included, in; characters, extended codes and edited
// lines out.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fakes/memory_console.h"
#include "param_name.h"
#include "runtime/console/consoledevice.h"
#include "runtime/console/keyboard.h"
#include "runtime/process/process.h"
#include "runtime/textfile/filedevice.h"

namespace {

constexpr uint32_t E = plat::STATE_ENHANCED;
constexpr uint32_t LALT = plat::STATE_LEFT_ALT;
constexpr uint32_t RALT = plat::STATE_RIGHT_ALT;
constexpr uint32_t LCTRL = plat::STATE_LEFT_CTRL;
constexpr uint32_t RCTRL = plat::STATE_RIGHT_CTRL;
constexpr uint32_t SHIFT = plat::STATE_SHIFT;

// Keys as a console reports them.
void enter() {
    FAKE.key(13, 28, 13);
}
void keypad_enter() {
    FAKE.key(13, 28, 13, E);
}
void backspace() {
    FAKE.key(8, 14, 8);
}
void esc() {
    FAKE.key(27, 1, 27);
}
void ctrl(char letter, uint8_t scan) {
    FAKE.key(static_cast<uint16_t>(letter), scan, static_cast<uint8_t>(letter - '@'), LCTRL);
}
void left() {
    FAKE.key(37, 75, 0, E);
}
void right() {
    FAKE.key(39, 77, 0, E);
}
void home() {
    FAKE.key(36, 71, 0, E);
}
void end() {
    FAKE.key(35, 79, 0, E);
}
void keypad_slash() {
    FAKE.key(111, 53, '/', E);
}
void alt_down() {
    FAKE.press(18, 56, 0, LALT);
}
void alt_up() {
    FAKE.release(18, 56, 0);
}
void alt_keypad(int digit) {
    FAKE.key(static_cast<uint16_t>(96 + digit), 0, 0, LALT);
}

class Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        install_memory_console(80, 25);
        INOUTRES = 0;
        CRTINIT();
        SCANCODE = 0;
        SPECIALKEY = false;
        DOINGNUMCHARS = false;
        DOINGNUMCODE = 0;
    }
    // One line read by the line editor: the bytes it hands to the channel.
    std::string read_line() {
        EXPECT_EQ(CRTREAD(INPUT), 0);
        return std::string(reinterpret_cast<const char*>(INPUT.BUFPTR),
                           static_cast<size_t>(INPUT.BUFEND));
    }
};

struct LineCase {
    const char* name;
    std::function<void()> keys;
    std::string line;     // what the channel receives
    std::string echo_row; // the start of screen row 1 afterwards
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

const LineCase LINE_CASES[] = {
    {"typed and ended",
     [] {
         FAKE.type("abc");
         enter();
     },
     "abc\r\n", "abc."},
    {"Left then Backspace does nothing",
     [] {
         FAKE.type("abc");
         left();
         backspace();
         enter();
     },
     "abc\r\n", "abc."},
    {"Left then a character overwrites",
     [] {
         FAKE.type("abc");
         left();
         FAKE.type("X");
         enter();
     },
     "abX\r\n", "abX."},
    {"Enter in the middle delivers the whole line",
     [] {
         FAKE.type("abc");
         left();
         left();
         enter();
     },
     "abc\r\n", "abc."},
    {"Backspace at the end erases",
     [] {
         FAKE.type("abc");
         backspace();
         enter();
     },
     "ab\r\n", "ab ."},
    {"Ctrl-S erases like Backspace",
     [] {
         FAKE.type("abc");
         ctrl('S', 31);
         enter();
     },
     "ab\r\n", "ab ."},
    {"Esc erases the whole line",
     [] {
         FAKE.type("abc");
         left();
         esc();
         FAKE.type("d");
         enter();
     },
     "d\r\n", "d  ."},
    {"Ctrl-Y erases the whole line",
     [] {
         FAKE.type("abc");
         ctrl('Y', 21);
         FAKE.type("d");
         enter();
     },
     "d\r\n", "d  ."},
    {"Ctrl-Z is ignored",
     [] {
         FAKE.type("a");
         ctrl('Z', 44);
         FAKE.type("b");
         enter();
     },
     "ab\r\n", "ab."},
    {"keypad Enter ends the line",
     [] {
         FAKE.type("ab");
         keypad_enter();
     },
     "ab\r\n", "ab."},
    {"keypad slash stores nothing",
     [] {
         FAKE.type("a");
         keypad_slash();
         enter();
     },
     "a\r\n", "a."},
    {"Home, Backspace nothing, End, Backspace erases",
     [] {
         FAKE.type("abc");
         home();
         backspace();
         end();
         backspace();
         enter();
     },
     "ab\r\n", "ab ."},
    {"Home then Right then overwrite",
     [] {
         FAKE.type("abc");
         home();
         right();
         FAKE.type("X");
         enter();
     },
     "aXc\r\n", "aXc."},
    {"Right at the end does nothing",
     [] {
         FAKE.type("ab");
         right();
         FAKE.type("c");
         enter();
     },
     "abc\r\n", "abc."},
    {"Alt with keypad 6 and 5, then Alt up, types 65",
     [] {
         alt_down();
         alt_keypad(6);
         alt_keypad(5);
         alt_up();
         enter();
     },
     "A\r\n", "A."},
    {"Alt keypad codes wrap modulo 256",
     [] {
         alt_down();
         alt_keypad(3);
         alt_keypad(2);
         alt_keypad(1);
         alt_up();
         enter();
     },
     "A\r\n", "A."},
    {"Alt keypad code 0 types nothing",
     [] {
         alt_down();
         alt_keypad(0);
         alt_up();
         FAKE.type("b");
         enter();
     },
     "b\r\n", "b."},
    {"lock and shift keys alone type nothing",
     [] {
         for (uint16_t vk : {16, 17, 18, 20, 144, 145}) FAKE.key(vk, 0, 0);
         FAKE.type("a");
         enter();
     },
     "a\r\n", "a."},
    {"other extended keys are ignored",
     [] {
         FAKE.type("a");
         FAKE.key(38, 72, 0, E);      // Up
         FAKE.key(46, 83, 0, E);      // Delete
         FAKE.key(112, 59, 0);        // F1
         FAKE.key(65, 30, 'a', LALT); // Alt+A
         enter();
     },
     "a\r\n", "a."},
    {"control characters are stored",
     [] {
         FAKE.type(std::string("a\x07"
                               "b"));
         enter();
     },
     "a\x07"
     "b\r\n",
     "ab."},
    {"a character typed with right Alt is ordinary",
     [] {
         FAKE.key(81, 16, '@', RALT | RCTRL);
         enter();
     },
     "@\r\n", "@."},
};

class LineEditor : public Keyboard, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineEditor, DeliversTheLineAndEchoesIt) {
    const LineCase& c = GetParam();
    c.keys();
    EXPECT_EQ(read_line(), c.line);
    EXPECT_EQ(FAKE.row(0).substr(0, c.echo_row.size()), c.echo_row);
    // After Enter the cursor stands at the start of the next row.
    EXPECT_EQ(FAKE.cursor_x, 0);
    EXPECT_EQ(FAKE.cursor_y, 1);
    // Every key was read; only the Enter key's release may still wait.
    for (const plat::InputEvent& e : FAKE.events) EXPECT_FALSE(e.key_down);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineEditor, ::testing::ValuesIn(LINE_CASES),
                         [](const ::testing::TestParamInfo<LineCase>& info) {
                             return param_name(info.param.name);
                         });

TEST_F(Keyboard, ALineHolds254CharactersAndItsLineEnd) {
    FAKE.type(std::string(253, 'x') + "yz");
    enter();
    EXPECT_EQ(read_line(), std::string(253, 'x') + "y\r\n");
    // The echo wrapped over four rows: 80 + 80 + 80 + 14, and no z.
    EXPECT_EQ(FAKE.row(3).substr(0, 14), std::string(13, 'x') + "y");
    EXPECT_EQ(FAKE.row(3)[14], '.');
    EXPECT_EQ(FAKE.cursor_y, 4);
}

TEST_F(Keyboard, EscErasesByBackspaceSpaceBackspace) {
    // Erasing across a wrapped row: the echo's backspace stops at column 1,
    // as the screen rules say, while the buffer empties.
    FAKE.type(std::string(82, 'x'));
    esc();
    enter();
    EXPECT_EQ(read_line(), "\r\n");
    EXPECT_EQ(FAKE.row(1).substr(0, 3), "  .");
    EXPECT_EQ(FAKE.row(0), std::string(80, 'x'));
}

TEST_F(Keyboard, EchoUsesTheCurrentAttribute) {
    TEXTBACKGROUND(1);
    FAKE.type("a");
    enter();
    read_line();
    EXPECT_EQ(FAKE.at(0, 0).attr, TEXTATTR);
    EXPECT_EQ(FAKE.at(0, 0).attr & 0xF0, 0x10);
}

TEST_F(Keyboard, EnterOnTheLastRowScrolls) {
    GOTOXY(1, 25);
    FAKE.type("q");
    enter();
    EXPECT_EQ(read_line(), "q\r\n");
    EXPECT_EQ(FAKE.row(23)[0], 'q');
    EXPECT_EQ(FAKE.cursor_y, 24);
}

TEST_F(Keyboard, ReadLnThroughTheChannelWaitsForEnter) {
    FAKE.type("hello");
    enter();
    FAKE.type("next");
    READLN_END(INPUT);
    EXPECT_EQ(INOUTRES, 0);
    // The keys after Enter wait for the next read.
    enter();
    EXPECT_EQ(read_line(), "next\r\n");
}

TEST_F(Keyboard, ReadKeyGivesCharactersAndExtendedCodes) {
    FAKE.type("a");
    left();
    keypad_slash();
    FAKE.key(65, 30, 'a', LALT);
    FAKE.key(115, 62, 0, LALT | LCTRL); // Alt wins over Ctrl: Alt+F4
    EXPECT_EQ(READKEY(), 'a');
    EXPECT_EQ(READKEY(), 0);
    EXPECT_EQ(READKEY(), 75);
    EXPECT_EQ(READKEY(), 0);
    EXPECT_EQ(READKEY(), 53);
    EXPECT_EQ(READKEY(), 0);
    EXPECT_EQ(READKEY(), 30);
    EXPECT_EQ(READKEY(), 0);
    EXPECT_EQ(READKEY(), 107);
    EXPECT_LE(FAKE.longest_wait_ms, 1000u);
    EXPECT_GT(FAKE.longest_wait_ms, 0u);
}

TEST_F(Keyboard, KeyPressedDoesNotWaitAndKeepsTheKey) {
    EXPECT_FALSE(KEYPRESSED());
    for (uint16_t vk : {16, 17, 18, 20, 144, 145}) FAKE.key(vk, 0, 0);
    EXPECT_FALSE(KEYPRESSED());
    EXPECT_TRUE(FAKE.events.empty());
    FAKE.type("k");
    EXPECT_TRUE(KEYPRESSED());
    EXPECT_TRUE(KEYPRESSED());
    EXPECT_EQ(FAKE.waits, 0);
    EXPECT_EQ(READKEY(), 'k');
}

TEST_F(Keyboard, NonKeyEventsAreSkipped) {
    FAKE.events.push_back(plat::InputEvent{2, true, 0, 0, 'm', 0}); // a mouse event
    FAKE.type("k");
    EXPECT_EQ(READKEY(), 'k');
}

// REMAPSCANCODE, row by row: the held keys, a range of scan codes, and the
// first code of the range's results.
struct RemapRow {
    const char* held;
    uint32_t state;
    uint16_t first_scan;
    uint16_t last_scan;
    std::vector<int> results; // one per scan code of the range
};

std::vector<int> range(int first, int last) {
    std::vector<int> v;
    for (int i = first; i <= last; ++i) v.push_back(i);
    return v;
}

const RemapRow REMAP_ROWS[] = {
    {"Alt digit row", LALT, 2, 13, range(120, 131)},
    {"right Alt digit row", RALT, 2, 13, range(120, 131)},
    {"Alt Enter", LALT, 28, 28, {166}},
    {"Alt keypad slash", LALT, 53, 53, {164}},
    {"Alt F1..F10", LALT, 59, 68, range(104, 113)},
    {"Alt Home Up PgUp", LALT, 71, 73, range(151, 153)},
    {"Alt Left", LALT, 75, 75, {155}},
    {"Alt Right", LALT, 77, 77, {157}},
    {"Alt End..Delete", LALT, 79, 83, range(159, 163)},
    {"Alt F11 F12", LALT, 87, 88, {139, 140}},
    {"Ctrl Tab", LCTRL, 15, 15, {148}},
    {"Ctrl keypad slash", LCTRL, 53, 53, {149}},
    {"Ctrl keypad star", LCTRL, 55, 55, {150}},
    {"Ctrl F1..F10", LCTRL, 59, 68, range(94, 103)},
    {"Ctrl keypad keys",
     RCTRL,
     71,
     83,
     {119, 141, 132, 142, 115, 143, 116, 78, 117, 145, 118, 146, 147}},
    {"Ctrl F11 F12", LCTRL, 87, 88, {137, 138}},
    {"Shift F1..F10", SHIFT, 59, 68, range(84, 93)},
    {"Shift F11 F12", SHIFT, 87, 88, {135, 136}},
    {"plain F11 F12", 0, 87, 88, {133, 134}},
    {"Alt first: Alt+Ctrl F1", LALT | LCTRL, 59, 59, {104}},
    {"Ctrl before Shift: F1", LCTRL | SHIFT, 59, 59, {94}},
    {"plain others unchanged", 0, 1, 86, range(1, 86)},
    {"Alt others unchanged: Tab", LALT, 15, 15, {15}},
    {"Ctrl others unchanged: a", LCTRL, 30, 30, {30}},
    {"Shift others unchanged: Home", SHIFT, 71, 71, {71}},
};

void PrintTo(const RemapRow& r, std::ostream* os) {
    *os << r.held;
}

class Remap : public Keyboard, public ::testing::WithParamInterface<RemapRow> {};

TEST_P(Remap, GivesTheExtendedCode) {
    const RemapRow& row = GetParam();
    ASSERT_EQ(row.results.size(), static_cast<size_t>(row.last_scan - row.first_scan + 1));
    for (uint16_t scan = row.first_scan; scan <= row.last_scan; ++scan)
        EXPECT_EQ(REMAPSCANCODE(scan, row.state, 0), row.results[scan - row.first_scan])
            << row.held << ", scan " << scan;
    EXPECT_FALSE(DOINGNUMCHARS);
}

INSTANTIATE_TEST_SUITE_P(Table, Remap, ::testing::ValuesIn(REMAP_ROWS),
                         [](const ::testing::TestParamInfo<RemapRow>& info) {
                             return param_name(info.param.held);
                         });

TEST_F(Keyboard, RemapWithAltAndAKeypadDigitBuildsTheCode) {
    REMAPSCANCODE(77, RALT, 102);
    REMAPSCANCODE(76, RALT, 101);
    EXPECT_TRUE(DOINGNUMCHARS);
    EXPECT_EQ(DOINGNUMCODE, 65);
    REMAPSCANCODE(76, LCTRL, 101); // no Alt: no digit
    EXPECT_EQ(DOINGNUMCODE, 65);
}

} // namespace
