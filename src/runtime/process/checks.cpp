// The checks the program runs after file operations, at array indexes and
// after arithmetic. Each raises its error on its own frame, so the report
// shows the point in the caller just after the check.
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

#define OWNFRAME reinterpret_cast<uintptr_t>(__builtin_frame_address(0))

KEEPFRAME void IOCHECK() {
    if (INOUTRES == 0) {
        FPUCHECK();
        return;
    }
    const int32_t NUMBER = INOUTRES;
    INOUTRES = 0;
    HANDLEERRORFRAME(NUMBER, OWNFRAME);
}

KEEPFRAME void BOUNDCHECK(int32_t VALUE, const BOUNDS& LIMITS) {
    if (LIMITS.LOW <= VALUE && VALUE <= LIMITS.HIGH) return;
    HANDLEERRORFRAME(RTE_RANGE, OWNFRAME);
}

KEEPFRAME void OVERFLOW() {
    HANDLEERRORFRAME(RTE_OVERFLOW, OWNFRAME);
}
