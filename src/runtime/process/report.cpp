// The run-time error report on STDOUT: the error line, the location, the
// stack lines and an empty line, each passed to the OS as it ends.
#include "runtime/process/report.h"

#include "platform/file.h"
#include "platform/process.h"
#include "runtime/process/frames.h"
#include "runtime/process/process.h"
#include "runtime/textfile/convert.h"

// What the report shows, set by the error entry.
uint16_t ERRORCODE = 0;
uintptr_t ERRORADDR = 0;
uintptr_t ERRORBASE = 0;
uintptr_t ERRORLINK = 0;

constexpr char HEXDIGITS[] = "0123456789ABCDEF";
constexpr uint8_t SHORT_ADDRESS_DIGITS = 8;
constexpr uint8_t LONG_ADDRESS_DIGITS = 16;
constexpr uint64_t SHORT_ADDRESS_LIMIT = 0xFFFFFFFFULL;
constexpr uint32_t BITS_PER_HEXDIGIT = 4;
constexpr uint64_t HEXDIGIT_MASK = 0xF;
constexpr int32_t MAX_STACK_LINES = 256;

COUNTEDSTRING HEXSTR(uint64_t VALUE, uint8_t DIGITS) {
    COUNTEDSTRING S{};
    S.LENGTH = DIGITS;
    for (int32_t I = DIGITS - 1; I >= 0; --I) {
        S.CHARS[I] = static_cast<uint8_t>(HEXDIGITS[VALUE & HEXDIGIT_MASK]);
        VALUE >>= BITS_PER_HEXDIGIT;
    }
    return S;
}

// An address as the executable offset: 8 digits while it fits, 16 otherwise.
static COUNTEDSTRING ADDRESSSTR(uintptr_t ADDRESS) {
    uint64_t OFFSET = plat::code_offset(ADDRESS);
    return HEXSTR(OFFSET,
                  OFFSET <= SHORT_ADDRESS_LIMIT ? SHORT_ADDRESS_DIGITS : LONG_ADDRESS_DIGITS);
}

COUNTEDSTRING SYSBACKTRACESTR(uintptr_t ADDRESS) {
    COUNTEDSTRING S = STR("  0x");
    COUNTEDSTRING HEX = ADDRESSSTR(ADDRESS);
    for (uint8_t I = 0; I < HEX.LENGTH; ++I) S.CHARS[S.LENGTH++] = HEX.CHARS[I];
    return S;
}

void DUMP_STACK(TEXTREC& T, uintptr_t FRAME, uintptr_t FIRSTRETURN) {
    const bool ISDEVICE = plat::file_is_char_device(T.HANDLE);
    uintptr_t PREVIOUS = FRAME - 1;
    int32_t COUNT = 0;
    if (FIRSTRETURN != 0) {
        WRITE_STR(0, T, SYSBACKTRACESTR(FIRSTRETURN));
        WRITELN_END(T);
        ++COUNT;
    }
    // Only upward, and only over frames that can be the program's: a link
    // that leaves the stack or is misaligned ends the walk before it is read.
    while (FRAME > PREVIOUS && FRAMEINSTACK(FRAME)) {
        uintptr_t ADDRESS = FRAMERETURN(FRAME);
        if (ADDRESS != 0) {
            WRITE_STR(0, T, SYSBACKTRACESTR(ADDRESS));
            WRITELN_END(T);
        }
        ++COUNT;
        if (COUNT > MAX_FRAME_DUMP && ISDEVICE) break;
        if (COUNT > MAX_STACK_LINES) break;
        PREVIOUS = FRAME;
        FRAME = FRAMELINK(FRAME);
    }
}

void WRITE_REPORT() {
    WRITE_STR(0, STDOUT, STR("Runtime error "));
    WRITE_SINT(0, STDOUT, ERRORCODE);
    WRITE_STR(0, STDOUT, STR(" at 0x"));
    WRITE_STR(0, STDOUT, ADDRESSSTR(ERRORADDR));
    WRITELN_END(STDOUT);
    WRITE_STR(0, STDOUT, SYSBACKTRACESTR(ERRORADDR));
    WRITELN_END(STDOUT);
    DUMP_STACK(STDOUT, ERRORBASE, ERRORLINK);
    WRITELN_END(STDOUT);
}
