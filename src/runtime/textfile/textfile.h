// The text channel: one record per named file or standard channel, with its
// own 256-byte buffer and the four device operations plugged into it.
#pragma once
#include "runtime/errornumbers.h"
#include <cstdint>

struct TEXTREC;

// A device operation; failures are recorded in INOUTRES, the result is ignored.
using DEVFUNC = int32_t (*)(TEXTREC& T);

// Channel states. Any other value means the record was never bound.
constexpr int32_t FMCLOSED = 0xD7B0;
constexpr int32_t FMINPUT = 0xD7B1;
constexpr int32_t FMOUTPUT = 0xD7B2;

constexpr intptr_t UNUSEDHANDLE = -1;
constexpr int32_t TEXTRECBUFSIZE = 256;
constexpr int32_t TEXTRECNAMESIZE = 256;
constexpr uint8_t MAXSTRLEN = 255;

struct TEXTREC {
    intptr_t HANDLE; // an OS handle: a descriptor or a Win32 handle
    int32_t MODE;
    int32_t BUFSIZE;
    int32_t BUFPOS;
    int32_t BUFEND;
    uint8_t* BUFPTR;
    DEVFUNC OPENFUNC;
    DEVFUNC INOUTFUNC;
    DEVFUNC FLUSHFUNC;
    DEVFUNC CLOSEFUNC;
    char NAME[TEXTRECNAMESIZE];
    uint8_t BUFFER[TEXTRECBUFSIZE];
};

// A counted string: a length byte, then storage for up to 255 characters.
// Storage past the length is never cleared by the channel operations.
struct COUNTEDSTRING {
    uint8_t LENGTH;
    uint8_t CHARS[MAXSTRLEN];
};

// Builds a counted string from a NUL-terminated text (cut to 255 characters).
COUNTEDSTRING STR(const char* text);

// The process-wide I/O result code: 0 = no error.
extern uint16_t INOUTRES;

// The process's standard handles, filled in at start-up; CLOSE never closes them.
extern intptr_t STDINPUTHANDLE;
extern intptr_t STDOUTPUTHANDLE;
extern intptr_t STDERRORHANDLE;

// Bytes with a meaning of their own to the channels and the console.
constexpr uint8_t BACKSPACE = 8;
constexpr uint8_t LF = 10;
constexpr uint8_t CR = 13;
constexpr uint8_t SPACE = ' ';

// Output line end.
constexpr uint8_t EOL[] = {CR, LF};

// Binding, opening and closing.
void ASSIGN(TEXTREC& T, const COUNTEDSTRING& NAME);
void RESET(TEXTREC& T);
void REWRITE(TEXTREC& T);
void CLOSE(TEXTREC& T);

// Reading.
void READ_STRING(TEXTREC& T, COUNTEDSTRING& TARGET, int32_t CAPACITY);
void READLN_END(TEXTREC& T);

// Writing: items, then the end of the statement.
void WRITE_SINT(int32_t WIDTH, TEXTREC& T, int32_t VALUE);
void WRITE_CHAR(int32_t WIDTH, TEXTREC& T, uint8_t C);
void WRITE_STR(int32_t WIDTH, TEXTREC& T, const COUNTEDSTRING& TEXT);
void WRITE_END(TEXTREC& T);
void WRITELN_END(TEXTREC& T);
// Hands the buffered bytes to the device now, so that a finished record is
// in the file even if the process ends before the buffer fills.
void FLUSH(TEXTREC& T);
