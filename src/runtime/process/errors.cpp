// The error entry: every run-time error ends the process through here.
#include "runtime/process/frames.h"
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

KEEPFRAME void HANDLEERRORFRAME(int32_t NUMBER, uintptr_t FRAME) {
    HANDLEERRORADDRFRAME(NUMBER, FRAMERETURN(FRAME), FRAMELINK(FRAME));
}

KEEPFRAME void HANDLEERRORADDRFRAME(int32_t NUMBER, uintptr_t ADDRESS, uintptr_t FRAME) {
    const auto LOW16 = static_cast<uint16_t>(NUMBER);
    ERRORCODE = LOW16;
    EXITCODE = LOW16;
    ERRORADDR = ADDRESS;
    ERRORBASE = FRAME;
    DO_EXIT();
}
