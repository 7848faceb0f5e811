// The error entry: every run-time error ends the process through here.
#include "runtime/process/keepframe.h"
#include "runtime/process/process.h"

uint16_t EXITCODE = 0;
uint16_t ERRORCODE = 0;
uintptr_t ERRORADDR = 0;
uintptr_t ERRORBASE = 0;
uintptr_t ERRORLINK = 0;

uintptr_t FRAMELINK(uintptr_t FRAME) {
    if (FRAME == 0 || FRAME == MAINFRAME) return 0;
    // Frames are walked by address. NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<const uintptr_t*>(FRAME)[0];
}

uintptr_t FRAMERETURN(uintptr_t FRAME) {
    if (FRAME == 0) return 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<const uintptr_t*>(FRAME)[1];
}

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
