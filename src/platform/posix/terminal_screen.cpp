// Drawing on the terminal: the console's cells are kept in a buffer and the
// terminal receives only what differs from what it already shows. This file
// owns the screen's state; the modes, the signals and the console table go
// through the functions declared in posix.h.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/internal/cellbuffer.h"
#include "platform/posix/cp437.h"
#include "platform/posix/posix.h"

namespace plat::term {

namespace {

// The screen buffer the terminal is kept in step with. BUFFER is what the
// console holds, its size fixed at the start; the terminal shows FRONT.
// Drawing sends their differences, row by row where the buffer marks them.
struct Screen {
    bool started;
    int out_fd = -1;   // the terminal drawn on
    int now_fd = -1;   // the same terminal opened again, non-blocking; -1 if it cannot be
    int32_t visible_w; // the part of the buffer the terminal shows; 0 until
    int32_t visible_h; // the next update looks at the terminal's size
    CellBuffer buffer;
    Cell* front;
    char* out;            // an update's bytes, sent whenever it is full
    int32_t out_capacity; // and at the end of the update
    int32_t cursor_x;     // where the console's cursor stands
    int32_t cursor_y;
    bool touched;       // BUFFER has ever been written: until then the terminal
                        // keeps what it showed before the program started
    bool repaint;       // FRONT is unknown: the terminal is erased, then every
                        // cell that is not blank is sent
    bool placed;        // the terminal's cursor was put at the console's cursor,
                        // which has not moved since
    bool writer_cursor; // another writer moved the terminal's cursor last,
                        // and the console's cursor has not moved since: the
                        // cursor stays where that writer's text ended
    int32_t term_x;     // where the terminal's cursor is; -1 if unknown
    int32_t term_y;
    int32_t sgr;        // the terminal's current attribute (with NO_COLOR: 1 if
                        // reversed, 0 if not); -1 if unknown
    bool cursor_hidden; // hidden during a pause, shown again when parked
    bool utf8;
    bool no_color;
    bool gone; // the terminal hung up: nothing more is drawn
};

Screen SCREEN;

constexpr int32_t ATTRIBUTES = 256;
constexpr uint8_t ATTR_FOREGROUND_INTENSE = 0x08;
constexpr uint8_t ATTR_BACKGROUND_SHIFT = 4;
constexpr uint8_t ATTR_COLOUR_BITS = 0x07;
constexpr uint8_t ATTR_BACKGROUND_BITS = 0x70;
constexpr uint8_t ATTR_BACKGROUND_INTENSE = 0x80;
constexpr int SGR_FOREGROUND = 30;
constexpr int SGR_FOREGROUND_INTENSE = 90;
constexpr int SGR_BACKGROUND = 40;
constexpr int SGR_BACKGROUND_INTENSE = 100;
// Unchanged cells between two changed ones are sent again rather than
// jumping over them when there are at most this many.
constexpr int32_t BRIDGE_CELLS = 3;
constexpr int32_t DECIMAL_DIGITS_MAX = 12;
// The start of a cursor move or a colour change.
constexpr char CSI[] = "\x1b[";
constexpr char ERASE_SCREEN[] = "\x1b[2J";
constexpr char HIDE_CURSOR[] = "\x1b[?25l";
constexpr char REVERSE_ON[] = "\x1b[7m";
constexpr char REVERSE_OFF[] = "\x1b[27m";

// The cells of the largest screen used, and the bytes of an update: static,
// so that however large the terminal, nothing is allocated that could fail.
Cell BACK[MAX_CELLS];
Cell FRONT[MAX_CELLS];
Cell SCRATCH[MAX_CELLS];
RowMarks ROWS[MAX_ROWS];
char OUTPUT[OUTPUT_CAPACITY];

int32_t LEN = 0;

// Whether this update's bytes may go out: asked of the terminal before the
// first write of an update, unless the update asked already.
enum class Send : uint8_t { UNASKED, ALLOWED, REFUSED };
Send SEND = Send::UNASKED;
// The console's cursor as the last update left it on the terminal; -1 if
// nothing was shown yet.
volatile sig_atomic_t SHOWN_X = -1;
volatile sig_atomic_t SHOWN_Y = -1;

void flush_out() {
    if (LEN == 0) return;
    // A background job never writes: asked only now, so that an update with
    // nothing to send costs no system call.
    if (SEND == Send::UNASKED) SEND = hold_terminal() ? Send::ALLOWED : Send::REFUSED;
    if (SEND == Send::REFUSED) {
        LEN = 0;
        return;
    }
    int32_t done = 0;
    while (done < LEN) {
        // Once a request to end is pending, a terminal that reads nothing
        // must not hold it up: the rest goes only as far as it is taken at once.
        if (sig::PENDING != 0) {
            send_now(SCREEN.out + done, LEN - done);
            break;
        }
        ssize_t n = write(SCREEN.out_fd, SCREEN.out + done, static_cast<size_t>(LEN - done));
        if (n < 0 && errno == EINTR) continue;
        // A terminal that hung up (its window closed under nohup) is no
        // failure of the program: the search goes on without a picture.
        if (n < 0 && (errno == EIO || errno == ENXIO)) SCREEN.gone = true;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    LEN = 0;
}

// An update larger than the buffer goes out in several writes: the terminal
// shows the same in the end, only not all at once.
void put(const char* bytes, int32_t n) {
    if (SCREEN.out_capacity <= 0) return;
    while (n > 0) {
        if (LEN == SCREEN.out_capacity) flush_out();
        const int32_t room = SCREEN.out_capacity - LEN;
        const int32_t part = n < room ? n : room;
        std::memcpy(SCREEN.out + LEN, bytes, static_cast<size_t>(part));
        LEN += part;
        bytes += part;
        n -= part;
    }
}

template <size_t N> void put_sequence(const char (&sequence)[N]) {
    put(sequence, static_cast<int32_t>(N - 1));
}

void put_char(char c) {
    if (LEN < SCREEN.out_capacity)
        SCREEN.out[LEN++] = c;
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
    if (SCREEN.sgr == reverse) return;
    if (reverse != 0)
        put_sequence(REVERSE_ON);
    else
        put_sequence(REVERSE_OFF);
    SCREEN.sgr = reverse;
}

// Sends only the colour that changed when the terminal's colours are known.
void set_attribute(uint8_t attr) {
    if (SCREEN.no_color) {
        set_reverse(attr);
        return;
    }
    if (SCREEN.sgr == attr) return;
    const bool known = SCREEN.sgr >= 0;
    const bool fg =
        !known || foreground_code(attr) != foreground_code(static_cast<uint8_t>(SCREEN.sgr));
    const bool bg =
        !known || background_code(attr) != background_code(static_cast<uint8_t>(SCREEN.sgr));
    put_sequence(CSI);
    if (fg) put_number(foreground_code(attr));
    if (fg && bg) put_char(';');
    if (bg) put_number(background_code(attr));
    put_char('m');
    SCREEN.sgr = attr;
}

void move_to(int32_t x, int32_t y) {
    if (SCREEN.term_y == y && SCREEN.term_x == x) return;
    if (SCREEN.term_y == y && x == 0) {
        put_char('\r');
    } else if (SCREEN.term_y == y && SCREEN.term_x >= 0 && x > SCREEN.term_x) {
        put_sequence(CSI);
        put_number(x - SCREEN.term_x);
        put_char('C');
    } else {
        put_sequence(CSI);
        put_number(y + 1);
        put_char(';');
        put_number(x + 1);
        put_char('H');
    }
    SCREEN.term_x = x;
    SCREEN.term_y = y;
}

void put_glyph(uint8_t ch) {
    if (SCREEN.utf8) {
        const Glyph& g = CP437_UTF8[ch];
        put(g.bytes, g.length);
    } else {
        const bool shown = ch >= cp437::FIRST_ASCII && ch <= cp437::LAST_ASCII;
        put_char(shown ? static_cast<char>(ch) : ch == 0 ? ' ' : '?'); // byte 0 shows blank
    }
}

bool same(const Cell& a, const Cell& b) {
    return a.ch == b.ch && a.attr == b.attr;
}

// When what the terminal shows is unknown, it is erased in the colours of
// the commonest blank cell (terminals erase in the current background), so
// that only the other cells need sending: every visible cell is compared.
void erase_for_repaint() {
    const CellBuffer& b = SCREEN.buffer;
    int32_t count[ATTRIBUTES] = {};
    for (int32_t y = 0; y < SCREEN.visible_h; ++y)
        for (int32_t x = 0; x < SCREEN.visible_w; ++x) {
            const Cell c = b.cells[y * b.width + x];
            if (c.ch == ' ') ++count[c.attr];
        }
    uint8_t blank = START_ATTRIBUTE;
    for (int32_t a = 0; a < ATTRIBUTES; ++a)
        if (count[a] > count[blank]) blank = static_cast<uint8_t>(a);
    set_attribute(blank);
    put_sequence(ERASE_SCREEN);
    const int32_t cells = b.width * b.height;
    for (int32_t i = 0; i < cells; ++i) SCREEN.front[i] = Cell{' ', blank};
    SCREEN.repaint = false;
    cells_mark_changed(SCREEN.buffer, Rect{0, 0, SCREEN.visible_w - 1, SCREEN.visible_h - 1});
}

// Sends the cells of row Y between X and RIGHT that differ from what the
// terminal shows. The cells beyond them show what the buffer holds already.
void send_row(int32_t y, int32_t x, int32_t right) {
    const ptrdiff_t row = static_cast<ptrdiff_t>(y) * SCREEN.buffer.width;
    const Cell* back = SCREEN.buffer.cells + row;
    Cell* front = SCREEN.front + row;
    // Most rows written during the search show what they showed before.
    if (x > right ||
        std::memcmp(back + x, front + x, static_cast<size_t>(right - x + 1) * sizeof(Cell)) == 0)
        return;
    while (x <= right) {
        if (same(back[x], front[x])) {
            ++x;
            continue;
        }
        int32_t last = x;
        for (int32_t i = x + 1; i <= right && i - last <= BRIDGE_CELLS + 1; ++i)
            if (!same(back[i], front[i])) last = i;
        move_to(x, y);
        for (; x <= last; ++x) {
            set_attribute(back[x].attr);
            put_glyph(back[x].ch);
            front[x] = back[x];
        }
        // The last column leaves the terminal's cursor in a pending wrap.
        SCREEN.term_x = x < SCREEN.visible_w ? x : -1;
    }
}

// Only what was written since the last update is compared. What is changed
// out of sight is forgotten: a terminal that grows is drawn anew.
void send_changes() {
    CellBuffer& b = SCREEN.buffer;
    const int32_t bottom =
        b.changed_bottom < SCREEN.visible_h ? b.changed_bottom : SCREEN.visible_h - 1;
    for (int32_t y = b.changed_top; y <= bottom; ++y) {
        const Span s = b.rows[y].changed;
        send_row(y, s.left, s.right < SCREEN.visible_w ? s.right : SCREEN.visible_w - 1);
    }
    cells_forget_changes(b);
}

// FD's terminal opened again, non-blocking, for the bytes that must not
// wait: O_NONBLOCK set on FD would reach the shell, which shares it.
int open_nonblocking(int fd) {
    constexpr int FLAGS = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const char* name = ttyname(fd);
    int again = name != nullptr ? open(name, FLAGS) : -1;
    // The controlling terminal opens by its other name whoever owns it.
    if (again < 0 && tcgetsid(fd) == getsid(0)) again = open("/dev/tty", FLAGS);
    return again;
}

// The terminal's current size, clipped to the buffer's.
void visible_size(int32_t* w, int32_t* h) {
    *w = SCREEN.buffer.width;
    *h = SCREEN.buffer.height;
    winsize ws{};
    if (ioctl(SCREEN.out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        if (ws.ws_col < *w) *w = ws.ws_col;
        if (ws.ws_row < *h) *h = ws.ws_row;
    }
}

} // namespace

void send_now(const char* bytes, int32_t n) {
    int fd = SCREEN.now_fd;
    if (fd < 0) {
        // Only the shared description is left: written to only if it takes output now.
        pollfd p{SCREEN.out_fd, POLLOUT, 0};
        if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;
        fd = SCREEN.out_fd;
    }
    ssize_t ignored = write(fd, bytes, static_cast<size_t>(n));
    (void)ignored;
}

void screen_start(int fd, ScreenSize size, const ScreenOptions& options) {
    if (SCREEN.now_fd >= 0) close(SCREEN.now_fd);
    SCREEN = Screen{};
    SCREEN.out_fd = fd;
    SCREEN.now_fd = open_nonblocking(fd);
    const int32_t width = size.width < MAX_COLUMNS ? size.width : MAX_COLUMNS;
    const int32_t height = size.height < MAX_ROWS ? size.height : MAX_ROWS;
    SCREEN.buffer = CellBuffer{BACK, SCRATCH, ROWS, width, height};
    cells_start(SCREEN.buffer, Cell{' ', START_ATTRIBUTE});
    SCREEN.front = FRONT;
    SCREEN.out = options.out != nullptr ? options.out : OUTPUT;
    SCREEN.out_capacity = options.out != nullptr ? options.out_capacity : OUTPUT_CAPACITY;
    LEN = 0;
    SHOWN_X = -1;
    SHOWN_Y = -1;
    SCREEN.utf8 = options.utf8;
    SCREEN.no_color = options.no_color;
    SCREEN.started = true;
    screen_forget();
}

int screen_fd() {
    return SCREEN.out_fd;
}

bool screen_utf8() {
    return SCREEN.utf8;
}

void screen_info(ScreenInfo* info) {
    *info = ScreenInfo{SCREEN.buffer.width, SCREEN.buffer.height, SCREEN.cursor_x, SCREEN.cursor_y,
                       START_ATTRIBUTE};
}

void screen_forget() {
    SCREEN.visible_w = 0;
    SCREEN.repaint = true;
    SCREEN.term_x = SCREEN.term_y = -1;
    SCREEN.sgr = -1;
    SCREEN.cursor_hidden = false;
    SCREEN.placed = false;
}

void set_cursor(Handle, int32_t x, int32_t y) {
    if (x == SCREEN.cursor_x && y == SCREEN.cursor_y) return;
    if (static_cast<uint32_t>(x) >= static_cast<uint32_t>(SCREEN.buffer.width) ||
        static_cast<uint32_t>(y) >= static_cast<uint32_t>(SCREEN.buffer.height))
        return;
    SCREEN.cursor_x = x;
    SCREEN.cursor_y = y;
    SCREEN.placed = false;
    SCREEN.writer_cursor = false;
}

void write_cell(Handle, int32_t x, int32_t y, Cell cell) {
    cells_write(SCREEN.buffer, x, y, cell);
}

void scroll(Handle, Rect rect, Rect clip, int32_t dest_x, int32_t dest_y, Cell fill) {
    cells_scroll(SCREEN.buffer, rect, clip, dest_x, dest_y, fill);
    // A clear of a screen still blank changes no cell, but it is a picture:
    // the terminal is erased at the next update.
    SCREEN.touched = true;
}

int32_t leave_sequence(char* out) {
    const int32_t x = SHOWN_X;
    const int32_t y = SHOWN_Y;
    if (SCREEN.writer_cursor || y < 0) return 0;
    std::memcpy(out, CSI, sizeof CSI - 1);
    int32_t n = static_cast<int32_t>(sizeof CSI - 1);
    n += decimal(out + n, y + 1);
    out[n++] = ';';
    n += decimal(out + n, x + 1);
    out[n++] = 'H';
    return n;
}

namespace {

// A terminal resized, or not looked at since the picture was forgotten.
void look_at_size() {
    if (sig::RESIZED == 0 && SCREEN.visible_w != 0) return;
    if (sig::RESIZED != 0) {
        sig::RESIZED = 0;
        // A resized terminal may have moved or reflowed what it showed.
        SCREEN.repaint = true;
        SCREEN.term_x = SCREEN.term_y = -1;
    }
    visible_size(&SCREEN.visible_w, &SCREEN.visible_h);
}

void place_cursor(Cursor cursor) {
    const int32_t cx = SCREEN.cursor_x < SCREEN.visible_w ? SCREEN.cursor_x : SCREEN.visible_w - 1;
    const int32_t cy = SCREEN.cursor_y < SCREEN.visible_h ? SCREEN.cursor_y : SCREEN.visible_h - 1;
    SHOWN_X = cx;
    SHOWN_Y = cy;
    if (SCREEN.writer_cursor) {
        // Text written past the console (a report) keeps the cursor after it.
    } else if (cursor == Cursor::PARK) {
        move_to(cx, cy);
        if (SCREEN.cursor_hidden) put_sequence(SHOW_CURSOR);
        SCREEN.cursor_hidden = false;
        SCREEN.placed = true;
    } else if (SCREEN.term_x != cx || SCREEN.term_y != cy) {
        if (!SCREEN.cursor_hidden) put_sequence(HIDE_CURSOR);
        SCREEN.cursor_hidden = true;
        SCREEN.placed = false;
    }
}

} // namespace

void present(Cursor cursor) {
    if (!SCREEN.started || SCREEN.gone) return;
    // A background job neither draws nor changes the modes; the picture is
    // drawn whole once it is in the foreground again. Where nothing says the
    // foreground may have changed, the terminal is asked only before a write.
    SEND = Send::UNASKED;
    if (!holds_terminal() || sig::CONTINUED != 0 || sig::RESIZED != 0) {
        if (!hold_terminal()) return;
        SEND = Send::ALLOWED;
    }
    if (cells_changed(SCREEN.buffer)) SCREEN.touched = true;
    // Until the first picture the terminal keeps what it shows and its cursor
    // where it stands: text written before it (a report) runs on from there.
    if (!SCREEN.touched) return;
    look_at_size();
    if (SCREEN.repaint) erase_for_repaint();
    send_changes();
    place_cursor(cursor);
    flush_out();
}

void before_foreign_write() {
    // Lines another writer puts on the terminal follow each other from the
    // console's cursor: the terminal is only brought back to it after a change.
    if (SCREEN.placed && !cells_changed(SCREEN.buffer) && sig::RESIZED == 0 &&
        sig::CONTINUED == 0 && holds_terminal())
        return;
    present();
    if (!holds_terminal()) return; // the text of a background job is its own
    // Other writers show in the terminal's own colours, from the console's cursor.
    put_sequence(RESET_COLOURS);
    flush_out();
    if (!holds_terminal()) return; // found to be one only now
    SCREEN.sgr = -1;
    SCREEN.term_x = -1;
    SCREEN.term_y = -1;
    SCREEN.writer_cursor = true;
}

} // namespace plat::term
