// Drawing on the terminal: the console's cells are kept in a buffer and the
// terminal receives only what differs from what it already shows.
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/decimal.h"
#include "platform/posix/cp437.h"
#include "platform/posix/posix.h"

namespace plat::term {

Terminal TERM;

namespace {

constexpr uint8_t ATTR_FOREGROUND_INTENSE = 0x08;
constexpr uint8_t ATTR_BACKGROUND_SHIFT = 4;
constexpr uint8_t ATTR_COLOUR_BITS = 0x07;
constexpr uint8_t ATTR_BACKGROUND_INTENSE = 0x80;
constexpr int SGR_FOREGROUND = 30;
constexpr int SGR_FOREGROUND_INTENSE = 90;
constexpr int SGR_BACKGROUND = 40;
constexpr int SGR_BACKGROUND_INTENSE = 100;
// Unchanged cells between two changed ones are sent again rather than
// jumping over them when there are at most this many.
constexpr int32_t BRIDGE_CELLS = 3;
constexpr int32_t DECIMAL_DIGITS_MAX = 12;
constexpr char ERASE_SCREEN[] = "\x1b[2J";
constexpr int32_t ATTRIBUTES = 256;
constexpr char HIDE_CURSOR[] = "\x1b[?25l";
constexpr char SHOW_CURSOR[] = "\x1b[?25h";
constexpr uint8_t ATTR_BACKGROUND_BITS = 0x70;
constexpr char REVERSE_ON[] = "\x1b[7m";
constexpr char REVERSE_OFF[] = "\x1b[27m";

// The cells of the largest screen used, and the bytes of an update: static,
// so that however large the terminal, nothing is allocated that could fail.
Cell BACK[MAX_CELLS];
Cell FRONT[MAX_CELLS];
Cell SCRATCH[MAX_CELLS];
char OUTPUT[OUTPUT_CAPACITY];

int32_t LEN = 0;
// The console's cursor as the last update left it on the terminal; -1 if
// nothing was shown yet.
volatile sig_atomic_t SHOWN_X = -1;
volatile sig_atomic_t SHOWN_Y = -1;

void flush_out() {
    int32_t done = 0;
    while (done < LEN) {
        // Once a request to end is pending, a terminal that reads nothing
        // must not hold it up: the rest goes only as far as it is taken at once.
        if (sig::PENDING != 0) {
            send_now(TERM.out + done, LEN - done);
            break;
        }
        ssize_t n = write(TERM.out_fd, TERM.out + done, static_cast<size_t>(LEN - done));
        if (n < 0 && errno == EINTR) continue;
        // A terminal that hung up (its window closed under nohup) is no
        // failure of the program: the search goes on without a picture.
        if (n < 0 && (errno == EIO || errno == ENXIO)) TERM.gone = true;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    LEN = 0;
}

// An update larger than the buffer goes out in several writes: the terminal
// shows the same in the end, only not all at once.
void put(const char* bytes, int32_t n) {
    if (TERM.out_capacity <= 0) return;
    while (n > 0) {
        if (LEN == TERM.out_capacity) flush_out();
        const int32_t room = TERM.out_capacity - LEN;
        const int32_t part = n < room ? n : room;
        std::memcpy(TERM.out + LEN, bytes, static_cast<size_t>(part));
        LEN += part;
        bytes += part;
        n -= part;
    }
}

void put_char(char c) {
    if (LEN < TERM.out_capacity)
        TERM.out[LEN++] = c;
    else
        put(&c, 1);
}

// The decimal digits of a non-negative VALUE into OUT; returns how many.
// Safe in a signal handler: it touches nothing shared.
int32_t decimal(char* out, int32_t value) {
    char digits[DECIMAL_DIGITS_MAX];
    int32_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % DECIMAL);
        value /= DECIMAL;
    } while (value != 0);
    for (int32_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    return n;
}

void put_number(int value) {
    char digits[DECIMAL_DIGITS_MAX];
    put(digits, decimal(digits, value));
}

// Win32 colour bits (1 blue, 4 red) to the terminal's (1 red, 4 blue).
int ansi_colour(uint8_t colour) {
    return ((colour & 1) << 2) | (colour & 2) | ((colour & 4) >> 2);
}

int foreground_code(uint8_t attr) {
    int base = (attr & ATTR_FOREGROUND_INTENSE) != 0 ? SGR_FOREGROUND_INTENSE : SGR_FOREGROUND;
    return base + ansi_colour(attr & ATTR_COLOUR_BITS);
}

int background_code(uint8_t attr) {
    int base = (attr & ATTR_BACKGROUND_INTENSE) != 0 ? SGR_BACKGROUND_INTENSE : SGR_BACKGROUND;
    return base + ansi_colour((attr >> ATTR_BACKGROUND_SHIFT) & ATTR_COLOUR_BITS);
}

// Without colours, a cell on a coloured background (the examined cell) shows
// in reverse video and every other cell plainly.
void set_reverse(uint8_t attr) {
    const int32_t reverse = (attr & ATTR_BACKGROUND_BITS) != 0 ? 1 : 0;
    if (TERM.sgr == reverse) return;
    if (reverse != 0)
        put(REVERSE_ON, sizeof REVERSE_ON - 1);
    else
        put(REVERSE_OFF, sizeof REVERSE_OFF - 1);
    TERM.sgr = reverse;
}

// Sends only the colour that changed when the terminal's colours are known.
void set_attribute(uint8_t attr) {
    if (TERM.no_color) {
        set_reverse(attr);
        return;
    }
    if (TERM.sgr == attr) return;
    const bool known = TERM.sgr >= 0;
    const bool fg =
        !known || foreground_code(attr) != foreground_code(static_cast<uint8_t>(TERM.sgr));
    const bool bg =
        !known || background_code(attr) != background_code(static_cast<uint8_t>(TERM.sgr));
    put("\x1b[", 2);
    if (fg) put_number(foreground_code(attr));
    if (fg && bg) put_char(';');
    if (bg) put_number(background_code(attr));
    put_char('m');
    TERM.sgr = attr;
}

void move_to(int32_t x, int32_t y) {
    if (TERM.term_y == y && TERM.term_x == x) return;
    if (TERM.term_y == y && x == 0) {
        put_char('\r');
    } else if (TERM.term_y == y && TERM.term_x >= 0 && x > TERM.term_x) {
        put("\x1b[", 2);
        put_number(x - TERM.term_x);
        put_char('C');
    } else {
        put("\x1b[", 2);
        put_number(y + 1);
        put_char(';');
        put_number(x + 1);
        put_char('H');
    }
    TERM.term_x = x;
    TERM.term_y = y;
}

void put_glyph(uint8_t ch) {
    if (TERM.utf8) {
        const Glyph& g = CP437_UTF8[ch];
        put(g.bytes, g.length);
    } else {
        const bool shown = ch >= cp437::FIRST_ASCII && ch <= cp437::LAST_ASCII;
        put_char(shown ? static_cast<char>(ch) : ch == 0 ? ' ' : '?'); // byte 0 shows blank
    }
}

bool same(int32_t i) {
    return TERM.buffer.cells[i].ch == TERM.front[i].ch &&
           TERM.buffer.cells[i].attr == TERM.front[i].attr;
}

// When what the terminal shows is unknown, it is erased in the colours of
// the commonest blank cell (terminals erase in the current background), so
// that only the other cells need sending.
void erase_for_repaint(int32_t visible_w, int32_t visible_h) {
    int32_t count[ATTRIBUTES] = {};
    for (int32_t y = 0; y < visible_h; ++y)
        for (int32_t x = 0; x < visible_w; ++x) {
            const Cell c = TERM.buffer.cells[y * TERM.buffer.width + x];
            if (c.ch == ' ') ++count[c.attr];
        }
    uint8_t blank = START_ATTRIBUTE;
    for (int32_t a = 0; a < ATTRIBUTES; ++a)
        if (count[a] > count[blank]) blank = static_cast<uint8_t>(a);
    set_attribute(blank);
    put(ERASE_SCREEN, sizeof ERASE_SCREEN - 1);
    const int32_t cells = TERM.buffer.width * TERM.buffer.height;
    for (int32_t i = 0; i < cells; ++i) TERM.front[i] = Cell{' ', blank};
    TERM.repaint = false;
    TERM.dirty = true;
}

// The terminal's current size, clipped to the buffer's.
void visible_size(int32_t* w, int32_t* h) {
    *w = TERM.buffer.width;
    *h = TERM.buffer.height;
    winsize ws{};
    if (ioctl(TERM.out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        if (ws.ws_col < *w) *w = ws.ws_col;
        if (ws.ws_row < *h) *h = ws.ws_row;
    }
}

} // namespace

void send_now(const char* bytes, int32_t n) {
    int fd = TERM.now_fd;
    if (fd < 0) {
        // Only the shared description is left: written to only if it takes output now.
        pollfd p{TERM.out_fd, POLLOUT, 0};
        if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;
        fd = TERM.out_fd;
    }
    ssize_t ignored = write(fd, bytes, static_cast<size_t>(n));
    (void)ignored;
}

void take_buffers(int32_t width, int32_t height) {
    if (width > MAX_COLUMNS) width = MAX_COLUMNS;
    if (height > MAX_ROWS) height = MAX_ROWS;
    const int32_t cells = width * height;
    for (int32_t i = 0; i < cells; ++i) BACK[i] = FRONT[i] = Cell{' ', START_ATTRIBUTE};
    TERM.buffer = CellBuffer{BACK, SCRATCH, width, height};
    TERM.front = FRONT;
    TERM.out = OUTPUT;
    TERM.out_capacity = OUTPUT_CAPACITY;
    LEN = 0;
}

int32_t leave_sequence(char* out) {
    const int32_t x = SHOWN_X;
    const int32_t y = SHOWN_Y;
    if (TERM.writer_cursor || y < 0) return 0;
    int32_t n = 0;
    out[n++] = '\x1b';
    out[n++] = '[';
    n += decimal(out + n, y + 1);
    out[n++] = ';';
    n += decimal(out + n, x + 1);
    out[n++] = 'H';
    return n;
}

void present(Cursor cursor) {
    if (!TERM.attached || TERM.gone) return;
    // A background job neither draws nor changes the modes; the picture is
    // drawn whole once it is in the foreground again.
    if (!hold_terminal()) return;
    // Until the first picture the terminal keeps what it shows and its cursor
    // where it stands: text written before it (a report) runs on from there.
    if (!TERM.touched) return;
    int32_t& visible_w = TERM.visible_w;
    int32_t& visible_h = TERM.visible_h;
    if (sig::RESIZED != 0 || visible_w == 0) {
        if (sig::RESIZED != 0) {
            sig::RESIZED = 0;
            // A resized terminal may have moved or reflowed what it showed.
            TERM.repaint = true;
            TERM.term_x = TERM.term_y = -1;
        }
        visible_size(&visible_w, &visible_h);
    }
    if (TERM.repaint && TERM.touched) erase_for_repaint(visible_w, visible_h);
    if (TERM.dirty) {
        for (int32_t y = 0; y < visible_h; ++y) {
            const int32_t row = y * TERM.buffer.width;
            int32_t x = 0;
            while (x < visible_w) {
                if (same(row + x)) {
                    ++x;
                    continue;
                }
                int32_t last = x;
                for (int32_t i = x + 1; i < visible_w && i - last <= BRIDGE_CELLS + 1; ++i)
                    if (!same(row + i)) last = i;
                move_to(x, y);
                for (; x <= last; ++x) {
                    set_attribute(TERM.buffer.cells[row + x].attr);
                    put_glyph(TERM.buffer.cells[row + x].ch);
                    TERM.front[row + x] = TERM.buffer.cells[row + x];
                }
                // The last column leaves the terminal's cursor in a pending wrap.
                TERM.term_x = x < visible_w ? x : -1;
            }
        }
        TERM.dirty = false;
    }
    const int32_t cx = TERM.cursor_x < visible_w ? TERM.cursor_x : visible_w - 1;
    const int32_t cy = TERM.cursor_y < visible_h ? TERM.cursor_y : visible_h - 1;
    SHOWN_X = cx;
    SHOWN_Y = cy;
    if (TERM.writer_cursor) {
        // Text written past the console (a report) keeps the cursor after it.
    } else if (cursor == Cursor::PARK) {
        move_to(cx, cy);
        if (TERM.cursor_hidden) put(SHOW_CURSOR, sizeof SHOW_CURSOR - 1);
        TERM.cursor_hidden = false;
        TERM.placed = true;
    } else if (TERM.term_x != cx || TERM.term_y != cy) {
        if (!TERM.cursor_hidden) put(HIDE_CURSOR, sizeof HIDE_CURSOR - 1);
        TERM.cursor_hidden = true;
        TERM.placed = false;
    }
    flush_out();
}

void before_foreign_write() {
    // Lines another writer puts on the terminal follow each other from the
    // console's cursor: the terminal is only brought back to it after a change.
    if (TERM.placed && !TERM.dirty && sig::RESIZED == 0 && sig::CONTINUED == 0 && holds_terminal())
        return;
    present();
    if (!holds_terminal()) return; // the text of a background job is its own
    // Other writers show in the terminal's own colours, from the console's cursor.
    put("\x1b[0m", 4);
    flush_out();
    TERM.sgr = -1;
    TERM.term_x = -1;
    TERM.term_y = -1;
    TERM.writer_cursor = true;
}

} // namespace plat::term
