// Start-up, run-time errors and exit: the frame around the program's code.
#pragma once
#include "runtime/textfile/textfile.h"

#include <cstdint>

// Set at entry and by the main program: this is a console program (the only kind built here).
extern bool ISCONSOLE;
extern uint16_t EXITCODE;
extern uint16_t ERRORCODE;
extern uintptr_t ERRORADDR; // a code address; 0 until a run-time error occurs
extern uintptr_t ERRORBASE; // the frame at which the stack dump begins
// A return address that a fault left only in a register (a prologue that
// faulted before saving it): the dump's first stack line. 0 if none.
extern uintptr_t ERRORLINK;

// The four standard channels, opened by the system module at start-up.
extern TEXTREC INPUT;
extern TEXTREC OUTPUT;
extern TEXTREC STDOUT;
extern TEXTREC STDERR;

// A constant pair of inclusive limits for BOUNDCHECK.
struct BOUNDS {
    int32_t LOW;
    int32_t HIGH;
};

// The module table: a program's modules in start-up order, each initialiser and finaliser optional.
using MODULEPROC = void (*)();
struct MODULEENTRY {
    MODULEPROC INIT;
    MODULEPROC FINAL;
};
constexpr int32_t MODULECOUNT = 4;
struct MODULETABLE {
    int32_t COUNT;
    int32_t COMPLETED;
    MODULEENTRY MODULES[MODULECOUNT];
};

// The runtime's modules that a program lists: the system module (the standard
// handles and channels) and a library module that keeps no state of its own.
void SYSTEMINIT();
void LIBRARYINIT();
void LIBRARYFINAL();

// The program's main body; it calls INITIALIZEUNITS first and DO_EXIT last.
[[noreturn]] void MAINPROGRAM();

// Initialises the table's modules in order; FINALIZEUNITS finalises those completed in reverse.
void INITIALIZEUNITS(MODULETABLE& TABLE);
void FINALIZEUNITS();

// Checks: each raises its error at its caller's location.
void IOCHECK();
void BOUNDCHECK(int32_t VALUE, const BOUNDS& LIMITS);
[[noreturn]] void OVERFLOW();
// Where the processor cannot trap floating-point errors, their sticky flags
// are checked instead: after every file operation and at the normal end.
void FPUCHECK();

[[noreturn]] void HANDLEERRORFRAME(int32_t NUMBER, uintptr_t FRAME);
[[noreturn]] void HANDLEERRORADDRFRAME(int32_t NUMBER, uintptr_t ADDRESS, uintptr_t FRAME);
[[noreturn]] void HALT(uint8_t CODE);
[[noreturn]] void DO_EXIT();
void INTERNALEXIT();
[[noreturn]] void SYSTEM_EXIT();

void INSTALL_EXCEPTION_HANDLERS();
void REMOVE_EXCEPTION_HANDLERS();

// Start-up steps: remember the stack the program runs on (faults elsewhere are
// declined), and load the floating-point control word.
void REMEMBER_PROGRAM_STACK();
void LOAD_FPUCW();
