// The process entry: marks a console program, prepares the process and runs
// the main program, which ends through the exit sequence.
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

[[noreturn]] KEEPFRAME static void EXE_ENTRY() {
    INSTALL_EXCEPTION_HANDLERS();
    REMEMBER_PROGRAM_STACK();
    LOAD_FPUCW();
    MAINPROGRAM();
}

[[noreturn]] static void mainCRTStartup() {
    ISCONSOLE = true;
    EXE_ENTRY();
}

int main() {
    mainCRTStartup();
}
