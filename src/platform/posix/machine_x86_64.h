// Linux on x86-64: the fault registers and the x87 control word.
#pragma once
#include "platform/process.h"

#include <ucontext.h>

namespace plat::machine {

// The stack is 16-byte aligned at every call; the return address and the
// caller's frame pointer pushed on entry (8 bytes each) bring it back to 16,
// where the frame pointer is then set.
constexpr uintptr_t FRAME_ALIGNMENT = 16;

// A call pushes its return address on the stack, so no return address is
// ever held only in a register.
inline Registers fault_registers(const void* context, uintptr_t /*fault_address*/) {
    const auto& regs = static_cast<const ucontext_t*>(context)->uc_mcontext.gregs;
    return {static_cast<uintptr_t>(regs[REG_RIP]), static_cast<uintptr_t>(regs[REG_RBP]),
            static_cast<uintptr_t>(regs[REG_RSP]), 0};
}

// The processor traps integer division by zero itself.
inline bool is_divide_check(const Registers& /*regs*/) {
    return false;
}

// Return addresses are stored as they are.
inline uintptr_t strip_signature(uintptr_t address) {
    return address;
}

// Precision and rounding come from the x87 control word itself; the trap
// bits are set through <cfenv>.
inline void load_precision_rounding(uint16_t control_word) {
    __asm__ volatile("fldcw %0" : : "m"(control_word));
}

} // namespace plat::machine
