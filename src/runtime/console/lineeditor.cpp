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

// Erases the character before the edit position, which must be the end.
void ERASELAST(TEXTREC& T) {
    WRITECHAR(BACKSPACE);
    WRITECHAR(SPACE);
    WRITECHAR(BACKSPACE);
    --T.BUFPOS;
    --T.BUFEND;
}

} // namespace

int32_t CRTREAD(TEXTREC& T) {
    GETSCREENCURSOR(CURRX, CURRY);
    T.BUFPOS = 0;
    T.BUFEND = 0;
    for (;;) {
        if (T.BUFPOS > T.BUFEND) T.BUFEND = T.BUFPOS;
        SETSCREENCURSOR(CURRX, CURRY);
        const uint8_t KEY = READKEY();
        switch (KEY) {
        case ENTER:
            WRITECHAR(CR);
            WRITECHAR(LF);
            T.BUFPTR[T.BUFEND++] = CR;
            T.BUFPTR[T.BUFEND++] = LF;
            T.BUFPOS = 0;
            SETSCREENCURSOR(CURRX, CURRY);
            return 0;
        case BACKSPACE:
        case CTRL_S:
            if (T.BUFPOS > 0 && T.BUFPOS == T.BUFEND) ERASELAST(T);
            break;
        case ESCAPE:
        case CTRL_Y:
            // The echo goes to the end of the line first, so that erasing
            // backwards from there clears every character from the screen.
            while (T.BUFPOS < T.BUFEND) WRITECHAR(T.BUFPTR[T.BUFPOS++]);
            while (T.BUFEND > 0) ERASELAST(T);
            break;
        case CTRL_Z:
            if (CHECKEOF) {
                T.BUFPTR[T.BUFEND++] = CTRL_Z;
                T.BUFPOS = 0;
                SETSCREENCURSOR(CURRX, CURRY);
                return 0;
            }
            break;
        case EXTENDED:
            switch (READKEY()) {
            case KEY_HOME:
                while (T.BUFPOS > 0) {
                    --T.BUFPOS;
                    WRITECHAR(BACKSPACE);
                }
                break;
            case KEY_LEFT:
                if (T.BUFPOS > 0) {
                    --T.BUFPOS;
                    WRITECHAR(BACKSPACE);
                }
                break;
            case KEY_RIGHT:
                if (T.BUFPOS < T.BUFEND) WRITECHAR(T.BUFPTR[T.BUFPOS++]);
                break;
            case KEY_END:
                while (T.BUFPOS < T.BUFEND) WRITECHAR(T.BUFPTR[T.BUFPOS++]);
                break;
            default: break;
            }
            break;
        default:
            if (T.BUFPOS < T.BUFSIZE - LINE_END_ROOM) {
                T.BUFPTR[T.BUFPOS++] = KEY;
                WRITECHAR(KEY);
            }
            break;
        }
    }
}
