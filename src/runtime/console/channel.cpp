// The console device as a text channel: OUTPUT's characters go onto the
// screen (CRTWRITE, with the character output rules), INPUT's lines come from
// the line editor.
#include "runtime/console/consoledevice.h"

void ASSIGNCRT(TEXTREC& T) {
    ASSIGN(T, STR(""));
    T.OPENFUNC = CRTOPEN;
}

int32_t CRTOPEN(TEXTREC& T) {
    if (T.MODE == FMOUTPUT) {
        T.INOUTFUNC = CRTWRITE;
        T.FLUSHFUNC = CRTWRITE;
    } else {
        T.MODE = FMINPUT;
        T.INOUTFUNC = CRTREAD;
        T.FLUSHFUNC = CRTRETURN;
    }
    T.CLOSEFUNC = CRTCLOSE;
    return 0;
}

int32_t CRTRETURN(TEXTREC&) {
    return 0;
}

int32_t CRTCLOSE(TEXTREC& T) {
    T.MODE = FMCLOSED;
    return 0;
}
