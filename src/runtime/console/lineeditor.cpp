// The line editor behind INPUT: keys are echoed at the device's cursor and
// the finished line, ended by CR LF, is handed to the channel. The edit
// position is the buffer position, the line's length the buffer end.
#include "runtime/console/consoledevice.h"
#include "runtime/console/keyboard.h"

namespace {

constexpr uint8_t EXTENDED = 0;
constexpr uint8_t CTRL_S = 19;
constexpr uint8_t CTRL_Y = 25;
constexpr uint8_t CTRL_Z = 26;
constexpr uint8_t ESCAPE = 27;
constexpr uint8_t KEY_HOME = 71;
constexpr uint8_t KEY_LEFT = 75;
constexpr uint8_t KEY_RIGHT = 77;
constexpr uint8_t KEY_END = 79;
// Room kept at the end of the buffer for the line's CR LF.
constexpr int32_t LINE_END_ROOM = sizeof EOL;

// One echoed step of the edit position: left by a backspace, right over its character.
void STEPLEFT(TEXTREC& T) {
    --T.BUFPOS;
    WRITECHAR(BACKSPACE);
}
void STEPRIGHT(TEXTREC& T) {
    WRITECHAR(T.BUFPTR[T.BUFPOS++]);
}

// Erases the character before the edit position, which must be the end.
void ERASELAST(TEXTREC& T) {
    WRITECHAR(BACKSPACE);
    WRITECHAR(SPACE);
    STEPLEFT(T);
    --T.BUFEND;
}

// The extended keys that move the edit position; any other does nothing.
void MOVEEDITPOS(TEXTREC& T, uint8_t CODE) {
    if (CODE == KEY_LEFT && T.BUFPOS > 0) STEPLEFT(T);
    if (CODE == KEY_RIGHT && T.BUFPOS < T.BUFEND) STEPRIGHT(T);
    while (CODE == KEY_HOME && T.BUFPOS > 0) STEPLEFT(T);
    while (CODE == KEY_END && T.BUFPOS < T.BUFEND) STEPRIGHT(T);
}

// Acts on one key read; true when it finishes the line.
bool EDITKEY(TEXTREC& T, uint8_t KEY) {
    switch (KEY) {
    case ENTER:
        WRITECHAR(CR);
        WRITECHAR(LF);
        T.BUFPTR[T.BUFEND++] = CR;
        T.BUFPTR[T.BUFEND++] = LF;
        return true;
    case BACKSPACE:
    case CTRL_S:
        if (T.BUFPOS > 0 && T.BUFPOS == T.BUFEND) ERASELAST(T);
        return false;
    case ESCAPE:
    case CTRL_Y:
        // The echo goes to the end of the line first, so that erasing
        // backwards from there clears every character from the screen.
        while (T.BUFPOS < T.BUFEND) STEPRIGHT(T);
        while (T.BUFEND > 0) ERASELAST(T);
        return false;
    case CTRL_Z:
        if (CHECKEOF) T.BUFPTR[T.BUFEND++] = CTRL_Z;
        return CHECKEOF;
    case EXTENDED: MOVEEDITPOS(T, READKEY()); return false;
    default:
        if (T.BUFPOS < T.BUFSIZE - LINE_END_ROOM) {
            T.BUFPTR[T.BUFPOS++] = KEY;
            WRITECHAR(KEY);
        }
        return false;
    }
}

} // namespace

int32_t CRTREAD(TEXTREC& T) {
    GETSCREENCURSOR(CURRX, CURRY);
    T.BUFPOS = 0;
    T.BUFEND = 0;
    bool FINISHED = false;
    while (!FINISHED) {
        if (T.BUFPOS > T.BUFEND) T.BUFEND = T.BUFPOS;
        SETSCREENCURSOR(CURRX, CURRY);
        FINISHED = EDITKEY(T, READKEY());
    }
    T.BUFPOS = 0;
    SETSCREENCURSOR(CURRX, CURRY);
    return 0;
}
