// The screen side of the console device: window, attribute, cursor, and the
// character output rules (control bytes, wrap, scroll) by which an output
// channel's characters reach the cells.
#include "platform/console.h"
#include "runtime/console/consoledevice.h"

uint8_t TEXTATTR = 0;
int32_t WINMINX = 1, WINMINY = 1, WINMAXX = 0, WINMAXY = 0;
int32_t SCREENWIDTH = 0, SCREENHEIGHT = 0;
int32_t CURSORSAVEX = 0, CURSORSAVEY = 0;
int32_t CURRX = 1, CURRY = 1;
intptr_t OUTHANDLE = -1;
intptr_t INPUTHANDLE = -1;
bool ISWINDOWSNT = false;

namespace {

constexpr uint8_t BELL = 7;
constexpr uint8_t KEEP_FOREGROUND_AND_BLINK = 0x8F;
constexpr uint8_t BACKGROUND_BITS = 0x70;
constexpr uint8_t BACKGROUND_MULTIPLIER = 16;
constexpr int32_t DEFAULT_WIDTH = 80;
constexpr int32_t DEFAULT_HEIGHT = 25;

plat::Cell BLANK() {
    return plat::Cell{SPACE, TEXTATTR};
}

} // namespace

void SETSCREENCURSOR(int32_t X, int32_t Y) {
    plat::CONSOLE->set_cursor(OUTHANDLE, X - 1, Y - 1);
    CURSORSAVEX = X - 1;
    CURSORSAVEY = Y - 1;
}

int32_t GETSCREENWIDTH() {
    plat::ScreenInfo INFO{};
    return plat::CONSOLE->screen_info(OUTHANDLE, &INFO) ? INFO.width : DEFAULT_WIDTH;
}

int32_t GETSCREENHEIGHT() {
    plat::ScreenInfo INFO{};
    return plat::CONSOLE->screen_info(OUTHANDLE, &INFO) ? INFO.height : DEFAULT_HEIGHT;
}

uint32_t GETPLATFORMID() {
    return plat::CONSOLE->platform_id();
}

void GOTOXY(uint8_t X, uint8_t Y) {
    if (X == 0 || X > WINMAXX - WINMINX + 1 || Y == 0 || Y > WINMAXY - WINMINY + 1) return;
    SETSCREENCURSOR(static_cast<uint8_t>(X + WINMINX - 1), static_cast<uint8_t>(Y + WINMINY - 1));
}

void CLRSCR() {
    const plat::Rect WINDOW{WINMINX - 1, WINMINY - 1, WINMAXX - 1, WINMAXY - 1};
    if (ISWINDOWSNT) {
        plat::CONSOLE->scroll(OUTHANDLE, WINDOW, WINDOW, -WINMAXX, -WINMAXY, BLANK());
    } else {
        for (int32_t Y = WINDOW.top; Y <= WINDOW.bottom; ++Y)
            for (int32_t X = WINDOW.left; X <= WINDOW.right; ++X)
                plat::CONSOLE->write_cell(OUTHANDLE, X, Y, BLANK());
    }
    GOTOXY(1, 1);
}

void TEXTBACKGROUND(uint8_t COLOR) {
    TEXTATTR = static_cast<uint8_t>((TEXTATTR & KEEP_FOREGROUND_AND_BLINK) |
                                    ((COLOR * BACKGROUND_MULTIPLIER) & BACKGROUND_BITS));
}

void DELAY(uint16_t MS) {
    plat::CONSOLE->sleep(MS);
}

void REMOVELINE(int32_t LINE) {
    const int32_t R = WINMINY + LINE - 1;
    const plat::Rect RECT{WINMINX - 1, R - 1, WINMAXX - 1, WINMAXY - 1};
    plat::CONSOLE->scroll(OUTHANDLE, RECT, RECT, WINMINX - 1, R - 2, BLANK());
}

// Steps 2 and 3 of WRITECHAR: the wrap as soon as the last column is
// written, and the scroll while the cursor is below the window.
static void WRAPANDSCROLL() {
    if (CURRX > WINMAXX) {
        CURRX = WINMINX;
        ++CURRY;
    }
    while (CURRY > WINMAXY) {
        REMOVELINE(1);
        --CURRY;
    }
}

// WRITECHAR's rules, which CRTWRITE takes in rather than calling them for
// every character: an ordinary character, nearly all there is, costs one
// platform write, the column's advance and the edge check.
[[gnu::always_inline]] static inline void PLACECHAR(uint8_t C) {
    // Every byte above CR is ordinary: most take one comparison.
    if (C > CR || (C != BELL && C != BACKSPACE && C != LF && C != CR)) {
        plat::CONSOLE->write_cell(OUTHANDLE, CURRX - 1, CURRY - 1, plat::Cell{C, TEXTATTR});
        ++CURRX;
    } else if (C == BACKSPACE) {
        if (CURRX > WINMINX) --CURRX;
    } else if (C == LF) {
        ++CURRY;
    } else if (C == CR) {
        CURRX = WINMINX;
    }
    if (CURRX > WINMAXX || CURRY > WINMAXY) WRAPANDSCROLL();
}

void WRITECHAR(uint8_t C) {
    PLACECHAR(C);
}

int32_t CRTWRITE(TEXTREC& T) {
    GETSCREENCURSOR(CURRX, CURRY);
    const uint8_t* CHARS = T.BUFPTR;
    const int32_t COUNT = T.BUFPOS;
    for (int32_t I = 0; I < COUNT; ++I) PLACECHAR(CHARS[I]);
    SETSCREENCURSOR(CURRX, CURRY);
    T.BUFPOS = 0;
    return 0;
}
