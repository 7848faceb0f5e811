// Linux on aarch64: the fault registers, the link register, and return
// addresses that may carry a signature in their top bits.
#pragma once
#include "platform/process.h"

#include <ucontext.h>

namespace plat::machine {

constexpr int FRAME_REGISTER = 29;
constexpr int LINK_REGISTER = 30;
constexpr int STACK_REGISTER = 31; // as a base register, sp

// "stp x29, x30, [sp, #imm]" and "stp x29, x30, [sp, #imm]!": the store of
// the frame record in a function's prologue, whatever its offset.
constexpr uint32_t STP_OFFSET_MASK = 0xFFC07FFF;
constexpr uint32_t STP_SIGNED_OFFSET = 0xA9000000;
constexpr uint32_t STP_PRE_INDEX = 0xA9800000;
constexpr uint32_t FRAME_RECORD_OPERANDS =
    (uint32_t{LINK_REGISTER} << 10) | (uint32_t{STACK_REGISTER} << 5) | FRAME_REGISTER;

constexpr bool saves_frame_record(uint32_t instruction) {
    const uint32_t fixed = instruction & STP_OFFSET_MASK;
    return fixed == (STP_SIGNED_OFFSET | FRAME_RECORD_OPERANDS) ||
           fixed == (STP_PRE_INDEX | FRAME_RECORD_OPERANDS);
}

constexpr uintptr_t INSTRUCTION_ALIGNMENT = 4;
// The stack pointer is always 16-byte aligned, and frame records are stored
// at it or at 16-byte offsets from it.
constexpr uintptr_t FRAME_ALIGNMENT = 16;

// A function whose prologue faults (the stack running out) has not yet
// saved its frame record: x29 is still its caller's frame, and the return
// into the caller is only in x30. The walk from x29 would skip the caller.
inline Registers fault_registers(const void* context, uintptr_t fault_address) {
    const auto& mc = static_cast<const ucontext_t*>(context)->uc_mcontext;
    Registers regs{mc.pc, mc.regs[FRAME_REGISTER], mc.sp, 0};
    // A fault on a data access means the instruction was fetched, so it can
    // be read; a fault on the fetch itself leaves the pc unreadable.
    const bool fetched = fault_address != regs.pc && regs.pc % INSTRUCTION_ALIGNMENT == 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (fetched && saves_frame_record(*reinterpret_cast<const uint32_t*>(regs.pc)))
        regs.link = mc.regs[LINK_REGISTER];
    return regs;
}

// The processor does not trap integer division by zero; the build has the
// compiler check every divisor instead, and a failed check executes the
// compiler's trap instruction.
constexpr uint32_t DIVIDE_CHECK_TRAP = 0xD4207D00; // brk #0x3e8

inline bool is_divide_check(const Registers& regs) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return regs.pc % INSTRUCTION_ALIGNMENT == 0 &&
           *reinterpret_cast<const uint32_t*>(regs.pc) == DIVIDE_CHECK_TRAP;
}

// Removes a return-address signature. xpaclri works on x30 only, and is a
// no-op on a processor without signatures.
inline uintptr_t strip_signature(uintptr_t address) {
    register uintptr_t x30 __asm__("x30") = address;
    __asm__("hint #7" : "+r"(x30)); // xpaclri
    return x30;
}

// Rounding to nearest is the reset state; there is no precision control.
inline void load_precision_rounding(uint16_t /*control_word*/) {}

} // namespace plat::machine
