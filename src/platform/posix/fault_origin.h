// Whether a fault signal came from the processor or from another process.
#pragma once
#include <csignal>

namespace plat {

// kill, sigqueue and tgkill (raise included) mark what they send; a fault
// so sent is a request to end the process, not a fault of the program.
constexpr bool sent_by_process(int si_code) {
    return si_code == SI_USER || si_code == SI_QUEUE || si_code == SI_TKILL;
}

} // namespace plat
