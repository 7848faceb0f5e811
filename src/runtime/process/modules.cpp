// The runtime's own modules, and a program's module table: initialised in
// order at start-up, finalised in reverse.
#include "runtime/process/frames.h"
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"
#include "runtime/textfile/filedevice.h"

#include "platform/file.h"

bool ISCONSOLE = false;
TEXTREC INPUT;
TEXTREC OUTPUT;
TEXTREC STDOUT;
TEXTREC STDERR;

void SYSTEMINIT() {
    STDINPUTHANDLE = plat::std_handle(plat::StdStream::Input);
    STDOUTPUTHANDLE = plat::std_handle(plat::StdStream::Output);
    STDERRORHANDLE = plat::std_handle(plat::StdStream::Error);
    OPENSTDIO(INPUT, FMINPUT, STDINPUTHANDLE);
    OPENSTDIO(OUTPUT, FMOUTPUT, STDOUTPUTHANDLE);
    OPENSTDIO(STDOUT, FMOUTPUT, STDOUTPUTHANDLE);
    OPENSTDIO(STDERR, FMOUTPUT, STDERRORHANDLE);
    INOUTRES = 0;
}

void LIBRARYINIT() {}
void LIBRARYFINAL() {}

// The table the main program handed over; none before its first step.
static MODULETABLE* UNITS = nullptr;

KEEPFRAME void INITIALIZEUNITS(MODULETABLE& TABLE) {
    // The caller is the main program: its frame ends every stack walk.
    MAINFRAME = *static_cast<const uintptr_t*>(__builtin_frame_address(0));
    UNITS = &TABLE;
    for (int32_t I = 0; I < TABLE.COUNT; ++I) {
        if (TABLE.MODULES[I].INIT != nullptr) TABLE.MODULES[I].INIT();
        TABLE.COMPLETED = I + 1;
    }
}

void FINALIZEUNITS() {
    while (UNITS != nullptr && UNITS->COMPLETED > 0) {
        --UNITS->COMPLETED;
        MODULEPROC FINAL = UNITS->MODULES[UNITS->COMPLETED].FINAL;
        if (FINAL != nullptr) FINAL();
    }
}
