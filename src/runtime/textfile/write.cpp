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

// Copies COUNT bytes from SRC or, with SRC null, spaces into the buffer,
// which has room for them.
static void PUTINROOM(TEXTREC& T, const uint8_t* SRC, int32_t COUNT) {
    uint8_t* TO = T.BUFPTR + T.BUFPOS;
    T.BUFPOS += COUNT;
    // A one-character item, as a digit of the grid, needs no library call.
    if (SRC != nullptr && COUNT == 1)
        TO[0] = SRC[0];
    else if (SRC != nullptr)
        std::memcpy(TO, SRC, static_cast<size_t>(COUNT));
    else
        std::memset(TO, SPACE, static_cast<size_t>(COUNT));
}

// The put that fills the buffer, hands it over, and goes on with the rest.
[[gnu::noinline]] static void PUTPASTROOM(TEXTREC& T, const uint8_t* SRC, int32_t COUNT) {
    while (COUNT > T.BUFSIZE - T.BUFPOS) {
        const int32_t ROOM = T.BUFSIZE - T.BUFPOS;
        PUTINROOM(T, SRC, ROOM);
        if (SRC != nullptr) SRC += ROOM;
        COUNT -= ROOM;
        T.INOUTFUNC(T);
    }
    PUTINROOM(T, SRC, COUNT);
}

// Puts COUNT bytes, either copied from SRC or, with SRC null, spaces.
static void PUTBYTES(TEXTREC& T, const uint8_t* SRC, int32_t COUNT) {
    if (COUNT > T.BUFSIZE - T.BUFPOS)
        PUTPASTROOM(T, SRC, COUNT);
    else
        PUTINROOM(T, SRC, COUNT);
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
