// The report's stack walk over frame records laid out in memory, the stack's
// bounds around records 1-4: it stops before reading a frame that cannot be
// the program's.
#include "helpers.h"

#include <tuple>

#include "runtime/process/frames.h"
#include "runtime/process/report.h"

namespace {

// Each record: a link to the next one, then a return address (0x100 + its number).
alignas(16) uintptr_t RECORDS[6][2];
uintptr_t at(int record) {
    return reinterpret_cast<uintptr_t>(RECORDS[record]);
}

class StackWalk : public ScratchDir {};

TEST_F(StackWalk, StopsAtFramesThatCannotBeTheProgramsOwn) {
    // The first frame, record 2's link, the main program's frame, and how
    // many returns are written, from 0x101 up.
    const std::tuple<const char*, int, uintptr_t, uintptr_t, int> cases[] = {
        {"ordinary", 1, at(3), 0, 4},
        {"link past the bounds", 1, at(5), 0, 2},
        {"misaligned link", 1, at(2) + 8, 0, 2},
        {"link past the main frame", 1, at(4), at(3), 2},
        {"first frame below the bounds", 0, at(3), 0, 0},
    };
    STACKLOW = at(1);
    STACKHIGH = at(5);
    for (const auto& [name, start, link2, mainframe, lines] : cases) {
        for (int i = 0; i < 6; ++i)
            RECORDS[i][0] = i < 4 ? at(i + 1) : 0, RECORDS[i][1] = 0x100 + i;
        RECORDS[2][0] = link2;
        MAINFRAME = mainframe;
        TEXTREC T;
        ASSIGN(T, counted(path("dump.txt")));
        REWRITE(T);
        DUMP_STACK(T, at(start));
        CLOSE(T);
        std::string expected;
        for (int i = 1; i <= lines; ++i) expected += text_of(SYSBACKTRACESTR(0x100 + i)) + "\r\n";
        EXPECT_EQ(read_file(path("dump.txt")), expected) << name;
    }
    STACKLOW = STACKHIGH = MAINFRAME = 0;
}

} // namespace
