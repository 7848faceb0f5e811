// What the fault handler decides from a signal alone: who sent it, and on
// machines that need it, what the faulting instruction was.
#include <gtest/gtest.h>

#include "platform/posix/fault_origin.h"
#include "platform/posix/machine.h"

namespace {

TEST(FaultOrigin, OnlyWhatAProcessSentIsARequestToEnd) {
    const struct {
        int si_code;
        bool sent;
    } cases[] = {
        {SI_USER, true},      {SI_QUEUE, true},     {SI_TKILL, true},
        {SI_KERNEL, false}, // a general-protection fault on x86-64
        {SEGV_MAPERR, false}, {SEGV_ACCERR, false}, {BUS_ADRALN, false},
        {FPE_INTDIV, false},  {FPE_FLTINV, false},  {ILL_ILLOPC, false},
        {TRAP_BRKPT, false},  {SI_TIMER, false},    {SI_ASYNCIO, false},
    };
    for (const auto& c : cases) EXPECT_EQ(plat::sent_by_process(c.si_code), c.sent) << c.si_code;
}

#if defined(__aarch64__)
TEST(Machine, FrameRecordStoreIsRecognisedAtAnyOffset) {
    const struct {
        uint32_t instruction;
        bool saves;
    } cases[] = {
        {0xA9BF7BFD, true},  // stp x29, x30, [sp, #-16]!
        {0xA9AF7BFD, true},  // stp x29, x30, [sp, #-272]!
        {0xA9017BFD, true},  // stp x29, x30, [sp, #16]
        {0xA8C17BFD, false}, // ldp x29, x30, [sp], #16
        {0xA9BF53F3, false}, // stp x19, x20, [sp, #-16]!
        {0xA9BF7BE0, false}, // stp x0, x30, [sp, #-16]!
        {0xA9BF7BBD, false}, // stp x29, x30, [x29, #-16]!
        {0xD10043FF, false}, // sub sp, sp, #16
        {0xD503233F, false}, // paciasp
    };
    for (const auto& c : cases)
        EXPECT_EQ(plat::machine::saves_frame_record(c.instruction), c.saves)
            << std::hex << c.instruction;
}
#endif

} // namespace
