// Writing to a text channel through its 256-byte buffer. A full buffer is
// handed to the device by the next put, the next WRITE_CHAR or CLOSE.
#include "runtime/textfile/convert.h"
#include "runtime/textfile/textfile.h"

#include <cstring>

// WRITE_CHAR hands the buffer over once it holds this many bytes.
constexpr int32_t WRITECHAR_HANDOVER = TEXTRECBUFSIZE - 1;

// Checks that T is open for writing; records 105 or 103 otherwise.
static bool OPENFOROUTPUT(const TEXTREC& T) {
    if (INOUTRES != 0) return false;
    if (T.MODE == FMOUTPUT) return true;
    INOUTRES = T.MODE == FMINPUT ? IO_NOT_OPEN_FOR_OUTPUT : IO_NOT_OPEN;
    return false;
}

// Puts COUNT bytes, either copied from SRC or, with SRC null, spaces.
static void PUTBYTES(TEXTREC& T, const uint8_t* SRC, int32_t COUNT) {
    while (COUNT > T.BUFSIZE - T.BUFPOS) {
        int32_t ROOM = T.BUFSIZE - T.BUFPOS;
        if (SRC != nullptr) {
            std::memcpy(T.BUFPTR + T.BUFPOS, SRC, static_cast<size_t>(ROOM));
            SRC += ROOM;
        } else {
            std::memset(T.BUFPTR + T.BUFPOS, SPACE, static_cast<size_t>(ROOM));
        }
        T.BUFPOS = T.BUFSIZE;
        COUNT -= ROOM;
        T.INOUTFUNC(T);
    }
    if (SRC != nullptr)
        std::memcpy(T.BUFPTR + T.BUFPOS, SRC, static_cast<size_t>(COUNT));
    else
        std::memset(T.BUFPTR + T.BUFPOS, SPACE, static_cast<size_t>(COUNT));
    T.BUFPOS += COUNT;
}

static void WRITEBUFFER(TEXTREC& T, const uint8_t* SRC, int32_t COUNT) {
    PUTBYTES(T, SRC, COUNT);
}

static void WRITEBLANKS(TEXTREC& T, int32_t COUNT) {
    PUTBYTES(T, nullptr, COUNT);
}

void WRITE_STR(int32_t WIDTH, TEXTREC& T, const COUNTEDSTRING& TEXT) {
    if (!OPENFOROUTPUT(T)) return;
    if (WIDTH > TEXT.LENGTH) WRITEBLANKS(T, WIDTH - TEXT.LENGTH);
    WRITEBUFFER(T, TEXT.CHARS, TEXT.LENGTH);
}

void WRITE_CHAR(int32_t WIDTH, TEXTREC& T, uint8_t C) {
    if (!OPENFOROUTPUT(T)) return;
    if (WIDTH > 1) WRITEBLANKS(T, WIDTH - 1);
    if (T.BUFPOS >= WRITECHAR_HANDOVER) T.INOUTFUNC(T);
    T.BUFPTR[T.BUFPOS++] = C;
}

void WRITE_SINT(int32_t WIDTH, TEXTREC& T, int32_t VALUE) {
    COUNTEDSTRING TEXT;
    INT_STR(VALUE, TEXT);
    WRITE_STR(WIDTH, T, TEXT);
}

void WRITE_END(TEXTREC& T) {
    if (T.FLUSHFUNC != nullptr) T.FLUSHFUNC(T);
}

void FLUSH(TEXTREC& T) {
    if (!OPENFOROUTPUT(T)) return;
    if (T.BUFPOS > 0) T.INOUTFUNC(T);
}

void WRITELN_END(TEXTREC& T) {
    if (!OPENFOROUTPUT(T)) return;
    WRITEBUFFER(T, EOL, sizeof EOL);
    if (T.FLUSHFUNC != nullptr) T.FLUSHFUNC(T);
}
