// The console device's start-up: find the console, read its size, cursor and
// attribute, and take OUTPUT and INPUT over.
#include "platform/console.h"
#include "runtime/console/consoledevice.h"
#include "runtime/console/keyboard.h"
#include "runtime/process/process.h"

namespace {

constexpr uint8_t LOW_BYTE = 0xFF;

void FAIL(const char* MESSAGE) {
    WRITE_STR(0, STDERR, STR(MESSAGE));
    WRITELN_END(STDERR);
    IOCHECK();
    HALT(1);
}

} // namespace

void CRTINIT() {
    OUTHANDLE = STDOUTPUTHANDLE;
    INPUTHANDLE = STDINPUTHANDLE;
    plat::ScreenInfo INFO{};
    if (!plat::CONSOLE->screen_info(OUTHANDLE, &INFO)) {
        OUTHANDLE = plat::CONSOLE->open_console();
        if (OUTHANDLE == plat::INVALID_HANDLE) FAIL("No way to get the console handle");
        INFO = plat::ScreenInfo{};
        if (!plat::CONSOLE->screen_info(OUTHANDLE, &INFO))
            FAIL("No way to get console screen buffer info");
    }
    CURSORSAVEX = INFO.cursor_x;
    CURSORSAVEY = INFO.cursor_y;
    TEXTATTR = static_cast<uint8_t>(INFO.attribute & LOW_BYTE);
    SCREENWIDTH = GETSCREENWIDTH();
    SCREENHEIGHT = GETSCREENHEIGHT();
    ISWINDOWSNT = GETPLATFORMID() == plat::PLATFORM_ID_NT;
    WINMINX = 1;
    WINMINY = 1;
    WINMAXX = SCREENWIDTH;
    WINMAXY = SCREENHEIGHT;
    DOINGNUMCHARS = false;
    DOINGNUMCODE = 0;
    ASSIGNCRT(OUTPUT);
    REWRITE(OUTPUT);
    IOCHECK();
    OUTPUT.HANDLE = OUTHANDLE;
    ASSIGNCRT(INPUT);
    RESET(INPUT);
    IOCHECK();
    INPUT.HANDLE = INPUTHANDLE;
}
