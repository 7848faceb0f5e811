// The terminal key decoder: bytes in, console key presses out.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "param_name.h"
#include "platform/posix/key_decoder.h"
#include "platform/posix/posix.h"

namespace {

using plat::InputEvent;

constexpr uint32_t E = plat::STATE_ENHANCED;
constexpr uint32_t SHIFT = plat::STATE_SHIFT;
constexpr uint32_t ALT = plat::STATE_LEFT_ALT;
constexpr uint32_t CTRL = plat::STATE_LEFT_CTRL;

struct Expected {
    uint16_t vk;
    uint16_t scan;
    uint8_t ch;
    uint32_t state;
};

bool operator==(const InputEvent& a, const Expected& b) {
    return a.event_type == plat::EVENT_TYPE_KEY && a.key_down && a.virtual_key == b.vk &&
           a.scan_code == b.scan && a.ch == b.ch && a.control_state == b.state;
}

std::string show(const InputEvent& e) {
    return "{vk " + std::to_string(e.virtual_key) + ", scan " + std::to_string(e.scan_code) +
           ", ch " + std::to_string(e.ch) + ", state 0x" +
           [&] {
               char buf[16];
               snprintf(buf, sizeof buf, "%x", e.control_state);
               return std::string(buf);
           }() +
           "}";
}

// Feeds BYTES one by one; when the input then goes quiet mid-sequence, tells
// the decoder so (as the terminal layer does after its short wait).
std::vector<InputEvent> decode_all(const std::string& bytes, bool utf8 = true) {
    plat::KeyDecoder d = plat::key_decoder_new(utf8);
    std::vector<InputEvent> out;
    InputEvent e{};
    for (char c : bytes)
        if (plat::key_decode(d, static_cast<uint8_t>(c), &e)) out.push_back(e);
    if (plat::key_decoder_waiting(d) && plat::key_decode_quiet(d, &e)) out.push_back(e);
    EXPECT_FALSE(plat::key_decoder_waiting(d));
    return out;
}

struct KeyCase {
    const char* name;
    std::string bytes;
    Expected key;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

const KeyCase KEY_CASES[] = {
    // Plain keys and control bytes.
    {"a", "a", {65, 30, 'a', 0}},
    {"A shifted", "A", {65, 30, 'A', SHIFT}},
    {"z", "z", {90, 44, 'z', 0}},
    {"digit 1", "1", {49, 2, '1', 0}},
    {"digit 0", "0", {48, 11, '0', 0}},
    {"bang", "!", {49, 2, '!', SHIFT}},
    {"space", " ", {32, 57, ' ', 0}},
    {"slash", "/", {191, 53, '/', 0}},
    {"question", "?", {191, 53, '?', SHIFT}},
    {"tilde", "~", {192, 41, '~', SHIFT}},
    {"backslash", "\\", {220, 43, '\\', 0}},
    {"Enter CR", "\r", {13, 28, 13, 0}},
    {"Enter LF", "\n", {13, 28, 13, 0}},
    {"Backspace DEL", "\x7f", {8, 14, 8, 0}},
    {"Backspace BS", "\b", {8, 14, 8, 0}},
    {"Tab", "\t", {9, 15, 9, 0}},
    {"Esc alone", "\x1b", {27, 1, 27, 0}},
    {"Ctrl+A", "\x01", {65, 30, 1, CTRL}},
    {"Ctrl+S", "\x13", {83, 31, 19, CTRL}},
    {"Ctrl+Y", "\x19", {89, 21, 25, CTRL}},
    {"Ctrl+Z", "\x1a", {90, 44, 26, CTRL}},
    {"Ctrl+backslash", "\x1c", {220, 43, 0x1c, CTRL}},
    {"Ctrl+Space", std::string(1, '\0'), {32, 57, 0, CTRL}},
    // Alt by the ESC prefix.
    {"Alt+a",
     "\x1b"
     "a",
     {65, 30, 'a', ALT}},
    {"Alt+Shift+a",
     "\x1b"
     "A",
     {65, 30, 'A', ALT | SHIFT}},
    {"Alt+Backspace", "\x1b\x7f", {8, 14, 8, ALT}},
    {"Ctrl+Alt+a", "\x1b\x01", {65, 30, 1, CTRL | ALT}},
    {"Alt+Esc", "\x1b\x1b", {27, 1, 27, ALT}},
    {"Alt+Up prefix", "\x1b\x1b[A", {38, 72, 0, E | ALT}},
    {"Alt+[ alone", "\x1b[", {219, 26, '[', ALT}},
    {"Alt+Shift+O alone", "\x1bO", {79, 24, 'O', ALT | SHIFT}},
    {"Alt+] alone", "\x1b]", {221, 27, ']', ALT}},
    // Cursor keys in both cursor modes.
    {"Up CSI", "\x1b[A", {38, 72, 0, E}},
    {"Down CSI", "\x1b[B", {40, 80, 0, E}},
    {"Right CSI", "\x1b[C", {39, 77, 0, E}},
    {"Left CSI", "\x1b[D", {37, 75, 0, E}},
    {"Up SS3", "\x1bOA", {38, 72, 0, E}},
    {"Down SS3", "\x1bOB", {40, 80, 0, E}},
    {"Right SS3", "\x1bOC", {39, 77, 0, E}},
    {"Left SS3", "\x1bOD", {37, 75, 0, E}},
    {"Home CSI H", "\x1b[H", {36, 71, 0, E}},
    {"Home SS3 H", "\x1bOH", {36, 71, 0, E}},
    {"Home 1~", "\x1b[1~", {36, 71, 0, E}},
    {"Home 7~", "\x1b[7~", {36, 71, 0, E}},
    {"End CSI F", "\x1b[F", {35, 79, 0, E}},
    {"End SS3 F", "\x1bOF", {35, 79, 0, E}},
    {"End 4~", "\x1b[4~", {35, 79, 0, E}},
    {"End 8~", "\x1b[8~", {35, 79, 0, E}},
    {"Insert", "\x1b[2~", {45, 82, 0, E}},
    {"Delete", "\x1b[3~", {46, 83, 0, E}},
    {"Page Up", "\x1b[5~", {33, 73, 0, E}},
    {"Page Down", "\x1b[6~", {34, 81, 0, E}},
    {"keypad 5 Linux", "\x1b[G", {12, 76, 0, 0}},
    {"keypad 5 xterm", "\x1b[E", {12, 76, 0, 0}},
    {"Shift+Tab", "\x1b[Z", {9, 15, 9, SHIFT}},
    {"Shift+Tab Linux", "\x1b\t", {9, 15, 9, SHIFT}},
    // Modifiers, xterm scheme.
    {"Shift+Up", "\x1b[1;2A", {38, 72, 0, E | SHIFT}},
    {"Ctrl+Left", "\x1b[1;5D", {37, 75, 0, E | CTRL}},
    {"Alt+Home", "\x1b[1;3H", {36, 71, 0, E | ALT}},
    {"Ctrl+End", "\x1b[1;5F", {35, 79, 0, E | CTRL}},
    {"Ctrl+Delete", "\x1b[3;5~", {46, 83, 0, E | CTRL}},
    {"Shift+Ctrl+Alt+PgUp", "\x1b[5;8~", {33, 73, 0, E | SHIFT | CTRL | ALT}},
    {"Meta+Right as Alt", "\x1b[1;9C", {39, 77, 0, E | ALT}},
    {"Shift+Up, one parameter", "\x1b[2A", {38, 72, 0, E | SHIFT}},
    {"Shift+Up, SS3 parameter", "\x1bO2A", {38, 72, 0, E | SHIFT}},
    {"Ctrl+Up, private marker", "\x1b[>1;5A", {38, 72, 0, E | CTRL}},
    {"Shift+F1", "\x1b[1;2P", {112, 59, 0, SHIFT}},
    {"Shift+F1 SS3", "\x1bO2P", {112, 59, 0, SHIFT}},
    {"Ctrl+F5", "\x1b[15;5~", {116, 63, 0, CTRL}},
    {"Alt+F12", "\x1b[24;3~", {123, 88, 0, ALT}},
    {"Ctrl+F3", "\x1b[1;5R", {114, 61, 0, CTRL}},
    // rxvt's modified keys.
    {"rxvt Shift+Up", "\x1b[a", {38, 72, 0, E | SHIFT}},
    {"rxvt Ctrl+Left", "\x1bOd", {37, 75, 0, E | CTRL}},
    {"rxvt Shift+Home", "\x1b[7$", {36, 71, 0, E | SHIFT}},
    {"rxvt Ctrl+End", "\x1b[8^", {35, 79, 0, E | CTRL}},
    {"rxvt Ctrl+Shift+Delete", "\x1b[3@", {46, 83, 0, E | CTRL | SHIFT}},
    {"rxvt Shift+F3", "\x1b[25~", {114, 61, 0, SHIFT}},
    {"rxvt Shift+F10", "\x1b[34~", {121, 68, 0, SHIFT}},
    {"rxvt Ctrl+F1", "\x1b[11^", {112, 59, 0, CTRL}},
    // Function keys in their common encodings.
    {"F1 SS3", "\x1bOP", {112, 59, 0, 0}},
    {"F2 SS3", "\x1bOQ", {113, 60, 0, 0}},
    {"F3 SS3", "\x1bOR", {114, 61, 0, 0}},
    {"F4 SS3", "\x1bOS", {115, 62, 0, 0}},
    {"F1 Linux", "\x1b[[A", {112, 59, 0, 0}},
    {"F5 Linux", "\x1b[[E", {116, 63, 0, 0}},
    {"F1 rxvt", "\x1b[11~", {112, 59, 0, 0}},
    {"F4 rxvt", "\x1b[14~", {115, 62, 0, 0}},
    {"F5", "\x1b[15~", {116, 63, 0, 0}},
    {"F6", "\x1b[17~", {117, 64, 0, 0}},
    {"F7", "\x1b[18~", {118, 65, 0, 0}},
    {"F8", "\x1b[19~", {119, 66, 0, 0}},
    {"F9", "\x1b[20~", {120, 67, 0, 0}},
    {"F10", "\x1b[21~", {121, 68, 0, 0}},
    {"F11", "\x1b[23~", {122, 87, 0, 0}},
    {"F12", "\x1b[24~", {123, 88, 0, 0}},
    {"F3 bare CSI R", "\x1b[R", {114, 61, 0, 0}},
    // The keypad in application mode.
    {"keypad Enter", "\x1bOM", {13, 28, 13, E}},
    {"keypad slash", "\x1bOo", {111, 53, '/', E}},
    {"keypad star", "\x1bOj", {106, 55, '*', 0}},
    {"keypad 7", "\x1bOw", {103, 71, '7', 0}},
    // Ordinary keys with modifiers, modifyOtherKeys and CSI u forms.
    {"Ctrl+a other keys", "\x1b[27;5;97~", {65, 30, 1, CTRL}},
    {"Alt+x CSI u", "\x1b[120;3u", {88, 45, 'x', ALT}},
    // UTF-8 characters become code page 437 bytes.
    {"e acute", "\xc3\xa9", {0, 0, 0x82, 0}},
    {"pound sign", "\xc2\xa3", {0, 0, 0x9c, 0}},
    {"not in the code page", "\xe2\x82\xac", {0, 0, '?', 0}},
    // The glyphs that 0x01 and 0x7F show: typed, they are no control bytes.
    {"white smiling face", "\xe2\x98\xba", {0, 0, '?', 0}},
    {"house", "\xe2\x8c\x82", {0, 0, '?', 0}},
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, GivesTheKey) {
    const KeyCase& c = GetParam();
    const std::vector<InputEvent> events = decode_all(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.name;
    EXPECT_TRUE(events[0] == c.key) << c.name << ": got " << show(events[0]);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyTable, ::testing::ValuesIn(KEY_CASES),
                         [](const ::testing::TestParamInfo<KeyCase>& info) {
                             return param_name(info.param.name) + "_" + std::to_string(info.index);
                         });

// Sequences that are no keys: consumed whole, nothing delivered, and the key
// after them still decoded.
struct DropCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const DropCase& c, std::ostream* os) {
    *os << c.name;
}

const DropCase DROP_CASES[] = {
    {"unknown CSI", "\x1b[99~"},
    {"unknown final", "\x1b[5y"},
    {"focus in", "\x1b[I"},
    {"focus out", "\x1b[O"},
    {"paste start", "\x1b[200~"},
    {"paste end", "\x1b[201~"},
    {"X10 mouse", "\x1b[M !!"},
    {"X10 mouse with ESC-like raw bytes", "\x1b[M\x1b[A"},
    {"SGR mouse press", "\x1b[<0;12;5M"},
    {"SGR mouse release", "\x1b[<0;12;5m"},
    {"urxvt mouse", "\x1b[32;12;5M"},
    {"cursor position report", "\x1b[12;40R"},
    {"DECXCPR", "\x1b[?12;40R"},
    {"OSC reply by BEL", "\x1b]11;rgb:0000/0000/0000\x07"},
    {"OSC reply by ST", "\x1b]11;rgb:0000/0000/0000\x1b\\"},
    {"DCS reply", "\x1bP1$r0m\x1b\\"},
    {"intermediate byte", "\x1b[1 q"},
    {"parameter after intermediate", "\x1b[1 2q"},
    {"cancelled by CAN", "\x1b[12\x18"},
    {"cancelled by SUB", "\x1b[12\x1a"},
    {"overlong", "\x1b[" + std::string(200, '1') + "A"},
    {"huge parameter", "\x1b[99999999999999999999;5A"},
    {"modifier out of range", "\x1b[1;99A"},
    {"truncated CSI", "\x1b[1;5"},
    {"truncated SS3 parameter", "\x1bO5"},
    {"unknown SS3", "\x1bOz"},
    {"highlight tracking", "\x1b[T123456"},
    {"stray UTF-8 continuation", "\x80"},
    {"truncated UTF-8", "\xe2\x82"},
    {"invalid UTF-8 lead", "\xff"},
    {"overlong UTF-8", "\xc1\x81"},
};

class DropTable : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropTable, DeliversNothingAndRecovers) {
    const DropCase& c = GetParam();
    EXPECT_TRUE(decode_all(c.bytes).empty()) << c.name;
    const std::vector<InputEvent> after = decode_all(c.bytes + "x");
    // A truncated sequence swallows what follows only until it is complete or
    // broken; the byte after a whole sequence is always a key of its own.
    ASSERT_LE(after.size(), 1u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Dropped, DropTable, ::testing::ValuesIn(DROP_CASES),
                         [](const ::testing::TestParamInfo<DropCase>& info) {
                             return param_name(info.param.name);
                         });

TEST(KeyDecoder, CompleteSequencesInOneReadGiveTheirKeysInOrder) {
    const std::vector<InputEvent> events = decode_all("ab\x1b[D\x1b[200~xy\x1b[201~\x1bOP\r");
    const Expected want[] = {{65, 30, 'a', 0}, {66, 48, 'b', 0}, {37, 75, 0, E}, {88, 45, 'x', 0},
                             {89, 21, 'y', 0}, {112, 59, 0, 0},  {13, 28, 13, 0}};
    ASSERT_EQ(events.size(), std::size(want));
    for (size_t i = 0; i < events.size(); ++i) EXPECT_TRUE(events[i] == want[i]) << i;
}

TEST(KeyDecoder, AnEscInsideASequenceStartsANewOne) {
    const std::vector<InputEvent> events = decode_all("\x1b[1;\x1b[B");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0] == (Expected{40, 80, 0, E}));
}

// A control byte inside a sequence is its own key, and the sequence goes on;
// one after a stray UTF-8 lead byte ends that character and is a key too.
TEST(KeyDecoder, ControlBytesInsideASequenceAreActedOn) {
    constexpr Expected ENTER = {13, 28, 13, 0};
    struct Case {
        const char* bytes;
        std::vector<Expected> keys;
    };
    const Case cases[] = {
        {"\x1b[1\r;5A", {ENTER, {38, 72, 0, E | CTRL}}},
        {"\x1bO\rA", {ENTER, {38, 72, 0, E}}},
        {"\x1b[[\rA", {ENTER, {112, 59, 0, 0}}},
        {"\x1b[1:2\rA", {ENTER}}, // malformed: skipped to its final byte
        {"\x1b[\t3~", {{9, 15, 9, 0}, {46, 83, 0, E}}},
        {"\xc3\r", {ENTER}},
        {"\xe2\x94\rx", {ENTER, {88, 45, 'x', 0}}},
    };
    for (const Case& c : cases) {
        const std::vector<InputEvent> events = decode_all(c.bytes);
        ASSERT_EQ(events.size(), c.keys.size()) << c.bytes;
        for (size_t i = 0; i < events.size(); ++i)
            EXPECT_TRUE(events[i] == c.keys[i])
                << c.bytes << " key " << i << ": " << show(events[i]);
    }
}

// No terminal sends 8-bit CSI or SS3 unless told to: in a single-byte locale
// 0x80-0x9F are characters of the line, and in UTF-8 they continue one.
TEST(KeyDecoder, BytesFrom0x80To0x9FAreNeverSequences) {
    struct Case {
        bool utf8;
        std::string bytes;
        std::vector<uint8_t> chars;
    };
    // In octal, which ends after three digits: 233 is 0x9B (CSI), 217 is 0x8F (SS3).
    const Case cases[] = {
        {false, "a\351\233b\217c", {'a', 0xe9, 0x9b, 'b', 0x8f, 'c'}},
        {true, "a\342\225\233b", {'a', 0xbe, 'b'}}, // U+255B, box drawing
        {true, "\303\217A", {'?', 'A'}},            // U+00CF, not in the code page
        {true, "\233A\217P", {'A', 'P'}},           // stray continuation bytes
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> chars;
        for (const InputEvent& e : decode_all(c.bytes, c.utf8)) chars.push_back(e.ch);
        EXPECT_EQ(chars, c.chars) << c.utf8 << " " << c.bytes;
    }
    for (int b = 0x80; b <= 0x9f; ++b) {
        const std::vector<InputEvent> events =
            decode_all(std::string{static_cast<char>(b), 'x'}, false);
        ASSERT_EQ(events.size(), 2u) << b;
        EXPECT_TRUE(events[0] == (Expected{0, 0, static_cast<uint8_t>(b), 0})) << b;
    }
}

TEST(KeyDecoder, ArbitraryBytesNeverGiveMoreKeysThanBytes) {
    // A cheap deterministic stream of every kind of byte, fed in one go.
    uint32_t x = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        for (int i = 0; i < 64; ++i) {
            x = x * 1103515245u + 12345u;
            const uint8_t b = static_cast<uint8_t>(x >> 16);
            bytes += static_cast<char>(i % 7 == 0 ? 0x1b : b);
        }
        for (bool utf8 : {true, false}) EXPECT_LE(decode_all(bytes, utf8).size(), bytes.size());
    }
}

// The terminal's key reading over a pipe: reads that split a sequence, the
// short wait for a lone Esc, dropped garbage, and the end of the input.
class PipeKeys : public ::testing::Test {
  protected:
    int fds[2] = {-1, -1};
    void SetUp() override { ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0); }
    void TearDown() override {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The presses waiting now; releases are checked to follow their press.
    std::vector<InputEvent> presses() {
        std::vector<InputEvent> out;
        while (plat::TERMINAL_CONSOLE.pending_events(fds[0]) > 0) {
            InputEvent e{};
            EXPECT_TRUE(plat::TERMINAL_CONSOLE.read_event(fds[0], &e));
            if (e.key_down) {
                out.push_back(e);
            } else {
                EXPECT_TRUE(!out.empty() && e.virtual_key == out.back().virtual_key)
                    << "a release without its press";
            }
        }
        return out;
    }
};

TEST_F(PipeKeys, SequencesSplitEscAloneGarbageAndTheEnd) {
    using Clock = std::chrono::steady_clock;
    // A sequence whose second part comes 10 ms after the first is one key.
    send("\x1b[1;5");
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        send("A");
    });
    std::vector<InputEvent> keys = presses();
    late.join();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys[0] == (Expected{38, 72, 0, E | CTRL}));

    // A lone Esc is the Esc key once the input stays quiet for a moment.
    send("\x1b");
    const auto start = Clock::now();
    keys = presses();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys[0] == (Expected{27, 1, 27, 0}));

    // Mouse reports and paste markers give nothing; the text between is typed.
    send("\x1b[<0;3;4M\x1b[M !!\x1b[200~ok\x1b[201~");
    keys = presses();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].ch, 'o');
    EXPECT_EQ(keys[1].ch, 'k');

    // The end of the input ends every line read as Enter does: an Enter is
    // always waiting from then on, so no key wait blocks.
    send("z");
    close(fds[1]);
    fds[1] = -1;
    std::vector<InputEvent> events(6);
    for (InputEvent& e : events) {
        ASSERT_GT(plat::TERMINAL_CONSOLE.pending_events(fds[0]), 0u);
        ASSERT_TRUE(plat::TERMINAL_CONSOLE.read_event(fds[0], &e));
    }
    EXPECT_TRUE(events[0] == (Expected{90, 44, 'z', 0}));
    EXPECT_TRUE(events[2] == (Expected{13, 28, 13, 0}));
    EXPECT_TRUE(events[4] == (Expected{13, 28, 13, 0}));
}

// A wait longer than a second ends after its length, not a second later.
TEST_F(PipeKeys, AWaitOfOverASecondLastsItsLength) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(plat::term::input_within(fds[0], 1200));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1200));
    EXPECT_LT(waited, std::chrono::milliseconds(2000));
}

} // namespace
