// The console device: a window on the console's cells, a current attribute,
// a cursor of its own, and the two standard channels it serves.
#pragma once
#include <cstdint>

#include "runtime/textfile/textfile.h"

extern uint8_t TEXTATTR;
extern int32_t WINMINX, WINMINY, WINMAXX, WINMAXY;
extern int32_t SCREENWIDTH, SCREENHEIGHT;
extern int32_t CURSORSAVEX, CURSORSAVEY; // 0-based, between operations
extern int32_t CURRX, CURRY;             // 1-based, during one write or read
extern intptr_t OUTHANDLE;
extern intptr_t INPUTHANDLE;
extern bool ISWINDOWSNT;

// Operations the program calls.
void CLRSCR();
void GOTOXY(uint8_t X, uint8_t Y);
void TEXTBACKGROUND(uint8_t COLOR);
void DELAY(uint16_t MS);
void ASSIGNCRT(TEXTREC& T);

// Internal operations.
void WRITECHAR(uint8_t C);
void REMOVELINE(int32_t LINE);
void SETSCREENCURSOR(int32_t X, int32_t Y);
inline void GETSCREENCURSOR(int32_t& X, int32_t& Y) {
    X = CURSORSAVEX + 1;
    Y = CURSORSAVEY + 1;
}
int32_t GETSCREENWIDTH();
int32_t GETSCREENHEIGHT();
uint32_t GETPLATFORMID();

// Channel operations.
int32_t CRTOPEN(TEXTREC& T);
int32_t CRTWRITE(TEXTREC& T);
int32_t CRTREAD(TEXTREC& T);
int32_t CRTRETURN(TEXTREC& T);
int32_t CRTCLOSE(TEXTREC& T);

// Module start-up: takes OUTPUT and INPUT over for the console.
void CRTINIT();
