// Reading lines from a text channel. Only CR and LF end a line; end of input
// is never an error.
#include "runtime/textfile/textfile.h"

#include <cstring>

// Checks that T is open for reading; records 104 or 103 otherwise.
static bool OPENFORINPUT(const TEXTREC& T) {
    if (T.MODE == FMINPUT) return true;
    INOUTRES = T.MODE == FMOUTPUT ? IO_NOT_OPEN_FOR_INPUT : IO_NOT_OPEN;
    return false;
}

static bool ISLINEEND(uint8_t B) {
    return B == CR || B == LF;
}

// Refills an empty buffer from the device; false if it stays empty.
static bool FILLED(TEXTREC& T) {
    if (T.BUFPOS < T.BUFEND) return true;
    T.INOUTFUNC(T);
    return T.BUFPOS < T.BUFEND;
}

// As FILLED, but calls the flush operation at end of input.
static bool MOREINPUT(TEXTREC& T) {
    if (FILLED(T)) return true;
    if (T.FLUSHFUNC != nullptr) T.FLUSHFUNC(T);
    return false;
}

static int32_t READPCHARLEN(TEXTREC& T, uint8_t* TARGET, int32_t CAPACITY) {
    int32_t COUNT = 0;
    if (INOUTRES != 0 || !OPENFORINPUT(T)) return 0;
    while (FILLED(T)) {
        int32_t SCAN = T.BUFPOS;
        int32_t LIMIT = T.BUFEND;
        if (LIMIT - SCAN > CAPACITY - COUNT) LIMIT = SCAN + (CAPACITY - COUNT);
        while (SCAN < LIMIT && !ISLINEEND(T.BUFPTR[SCAN])) ++SCAN;
        bool ATLINEEND = SCAN < T.BUFEND && ISLINEEND(T.BUFPTR[SCAN]);
        int32_t N = SCAN - T.BUFPOS;
        std::memcpy(TARGET + COUNT, T.BUFPTR + T.BUFPOS, static_cast<size_t>(N));
        T.BUFPOS += N;
        COUNT += N;
        if (COUNT == CAPACITY || ATLINEEND) break;
    }
    return COUNT;
}

void READ_STRING(TEXTREC& T, COUNTEDSTRING& TARGET, int32_t CAPACITY) {
    if (CAPACITY > MAXSTRLEN) CAPACITY = MAXSTRLEN;
    if (CAPACITY < 0) CAPACITY = 0;
    TARGET.LENGTH = static_cast<uint8_t>(READPCHARLEN(T, TARGET.CHARS, CAPACITY));
}

// Takes the next byte; false at end of input (after calling the flush operation).
static bool NEXTBYTE(TEXTREC& T, uint8_t& B) {
    if (!MOREINPUT(T)) return false;
    B = T.BUFPTR[T.BUFPOS++];
    return true;
}

void READLN_END(TEXTREC& T) {
    if (INOUTRES != 0 || !OPENFORINPUT(T)) return;
    uint8_t B = 0;
    for (;;) {
        if (!NEXTBYTE(T, B)) return;
        if (B == LF) return;
        if (B == CR) {
            // A CR may be followed by its LF in the next buffer fill.
            if (MOREINPUT(T) && T.BUFPTR[T.BUFPOS] == LF) ++T.BUFPOS;
            return;
        }
    }
}
