// The exit sequence, the same for the normal end and every run-time error.
#include "runtime/process/process.h"
#include "runtime/process/report.h"
#include "runtime/textfile/filedevice.h"

#include "platform/process.h"

uint16_t EXITCODE = 0;

void HALT(uint8_t CODE) {
    EXITCODE = CODE;
    DO_EXIT();
}

void DO_EXIT() {
    // A floating-point error no processor trap reported fails the normal end:
    // the check raises it, and its exit comes back here with ERRORADDR set.
    if (ERRORADDR == 0 && EXITCODE == 0) FPUCHECK();
    INTERNALEXIT();
    SYSTEM_EXIT();
}

void INTERNALEXIT() {
    FINALIZEUNITS();
    if (ERRORADDR != 0) {
        // Whole solutions already handed to the solutions file survive the error.
        WRITEOPENFILES();
        WRITE_REPORT();
    }
}

void SYSTEM_EXIT() {
    REMOVE_EXCEPTION_HANDLERS();
    plat::process_exit(EXITCODE);
}
