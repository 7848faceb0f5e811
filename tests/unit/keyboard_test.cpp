// The keyboard and the line editor on the in-memory console: scripted key
// events, releases included, in; characters, extended codes and edited
// lines out.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <tuple>

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

// The keys the line editor acts on, alone and with Alt, Ctrl or Shift held,
// read as their extended codes: only the plain and the Shift forms give the
// codes the editor knows.
struct EditKey {
    const char* name;
    uint16_t vk;
    uint16_t scan;
};
const EditKey EDIT_KEYS[] = {
    {"Home", 36, 71}, {"Left", 37, 75}, {"Right", 39, 77}, {"End", 35, 79}};

struct Held {
    const char* name;
    uint32_t state;
    int codes[std::size(EDIT_KEYS)]; // one per edit key
};
const Held HELD[] = {
    {"plain", 0, {71, 75, 77, 79}},
    {"Shift", SHIFT, {71, 75, 77, 79}},
    {"left_Alt", LALT, {151, 155, 157, 159}},
    {"right_Alt", RALT, {151, 155, 157, 159}},
    {"left_Ctrl", LCTRL, {119, 115, 116, 117}},
    {"right_Ctrl", RCTRL, {119, 115, 116, 117}},
    {"Alt_before_Ctrl", LALT | RCTRL, {151, 155, 157, 159}},
    {"Ctrl_before_Shift", LCTRL | SHIFT, {119, 115, 116, 117}},
};

class EditKeyCode : public Keyboard,
                    public ::testing::WithParamInterface<std::tuple<size_t, size_t>> {};

TEST_P(EditKeyCode, IsTheStatedExtendedCode) {
    const auto [key, held] = GetParam();
    FAKE.key(EDIT_KEYS[key].vk, EDIT_KEYS[key].scan, 0, E | HELD[held].state);
    EXPECT_EQ(READKEY(), 0);
    EXPECT_EQ(READKEY(), HELD[held].codes[key]);
}

INSTANTIATE_TEST_SUITE_P(Keys, EditKeyCode,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(EDIT_KEYS)),
                                            ::testing::Range<size_t>(0, std::size(HELD))),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, size_t>>& info) {
                             return std::string(HELD[std::get<1>(info.param)].name) + "_" +
                                    EDIT_KEYS[std::get<0>(info.param)].name;
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
