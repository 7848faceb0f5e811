// The module table: initialised in order at start-up, finalised in reverse.
#include "runtime/console/consoledevice.h"
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

static void SYSTEMINIT() {
    STDINPUTHANDLE = plat::std_handle(plat::StdStream::Input);
    STDOUTPUTHANDLE = plat::std_handle(plat::StdStream::Output);
    STDERRORHANDLE = plat::std_handle(plat::StdStream::Error);
    OPENSTDIO(INPUT, FMINPUT, STDINPUTHANDLE);
    OPENSTDIO(OUTPUT, FMOUTPUT, STDOUTPUTHANDLE);
    OPENSTDIO(STDOUT, FMOUTPUT, STDOUTPUTHANDLE);
    OPENSTDIO(STDERR, FMOUTPUT, STDERRORHANDLE);
    INOUTRES = 0;
}

// The two library modules keep no state that the program depends on.
static void LIBRARYINIT() {}
static void LIBRARYFINAL() {}

MODULETABLE INITFINAL = {
    MODULECOUNT,
    0,
    {
        {SYSTEMINIT, nullptr},
        {LIBRARYINIT, LIBRARYFINAL},
        {LIBRARYINIT, LIBRARYFINAL},
        {CRTINIT, nullptr},
    },
};

KEEPFRAME void INITIALIZEUNITS() {
    // The caller is the main program: its frame ends every stack walk.
    MAINFRAME = *static_cast<const uintptr_t*>(__builtin_frame_address(0));
    for (int32_t I = 0; I < INITFINAL.COUNT; ++I) {
        if (INITFINAL.MODULES[I].INIT != nullptr) INITFINAL.MODULES[I].INIT();
        INITFINAL.COMPLETED = I + 1;
    }
}

void FINALIZEUNITS() {
    while (INITFINAL.COMPLETED > 0) {
        --INITFINAL.COMPLETED;
        MODULEPROC FINAL = INITFINAL.MODULES[INITFINAL.COMPLETED].FINAL;
        if (FINAL != nullptr) FINAL();
    }
}
