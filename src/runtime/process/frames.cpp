// Reading the stack frames a run-time error report walks.
#include "runtime/process/frames.h"

#include "platform/process.h"

uintptr_t MAINFRAME = 0;
uintptr_t STACKLOW = 0;
uintptr_t STACKHIGH = 0;

// A frame's record: the link, then the return address.
constexpr uintptr_t FRAMERECORD = 2 * sizeof(uintptr_t);

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

bool FRAMEINSTACK(uintptr_t FRAME) {
    if (FRAME % plat::frame_alignment() != 0) return false;
    if (FRAME < STACKLOW || FRAME > STACKHIGH - FRAMERECORD) return false;
    return MAINFRAME == 0 || FRAME <= MAINFRAME;
}
