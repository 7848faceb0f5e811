// Reading the stack frames a run-time error report walks.
#include "runtime/process/frames.h"

uintptr_t MAINFRAME = 0;

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
