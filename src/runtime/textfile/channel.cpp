// Binding, opening and closing a text channel.
#include "runtime/textfile/filedevice.h"
#include "runtime/textfile/textfile.h"

#include <cstring>

uint16_t INOUTRES = 0;
intptr_t STDINPUTHANDLE = UNUSEDHANDLE;
intptr_t STDOUTPUTHANDLE = UNUSEDHANDLE;
intptr_t STDERRORHANDLE = UNUSEDHANDLE;

COUNTEDSTRING STR(const char* text) {
    // Only the length and the characters: storage past the length is never read.
    COUNTEDSTRING s;
    size_t len = std::strlen(text);
    if (len > MAXSTRLEN) len = MAXSTRLEN;
    s.LENGTH = static_cast<uint8_t>(len);
    std::memcpy(s.CHARS, text, len);
    return s;
}

void ASSIGN(TEXTREC& T, const COUNTEDSTRING& NAME) {
    std::memset(&T, 0, sizeof T);
    T.HANDLE = UNUSEDHANDLE;
    T.MODE = FMCLOSED;
    T.BUFSIZE = TEXTRECBUFSIZE;
    T.BUFPTR = T.BUFFER;
    T.OPENFUNC = FILEOPENFUNC;
    std::memcpy(T.NAME, NAME.CHARS, NAME.LENGTH);
    T.NAME[NAME.LENGTH] = '\0';
}

static void OPENTEXT(TEXTREC& T, int32_t MODE) {
    if (INOUTRES != 0) return;
    if (T.MODE == FMINPUT || T.MODE == FMOUTPUT) {
        CLOSE(T);
    } else if (T.MODE != FMCLOSED) {
        INOUTRES = IO_NOT_BOUND;
        return;
    }
    T.MODE = MODE;
    T.BUFPOS = 0;
    T.BUFEND = 0;
    T.OPENFUNC(T);
    if (INOUTRES != 0) T.MODE = FMCLOSED;
}

void RESET(TEXTREC& T) {
    OPENTEXT(T, FMINPUT);
}

void REWRITE(TEXTREC& T) {
    OPENTEXT(T, FMOUTPUT);
}

static bool ISSTDHANDLE(intptr_t H) {
    return H == STDINPUTHANDLE || H == STDOUTPUTHANDLE || H == STDERRORHANDLE;
}

void CLOSE(TEXTREC& T) {
    if (INOUTRES != 0) return;
    if (T.MODE != FMINPUT && T.MODE != FMOUTPUT) {
        INOUTRES = IO_NOT_OPEN;
        return;
    }
    // A failed hand-over leaves 101 for the check, but the handle is still released.
    if (T.MODE == FMOUTPUT) T.INOUTFUNC(T);
    if (!ISSTDHANDLE(T.HANDLE)) T.CLOSEFUNC(T);
    T.MODE = FMCLOSED;
    T.BUFPOS = 0;
    T.BUFEND = 0;
}
