// Keys from the console's input events, or, when standard input is a file
// or a pipe, its bytes taken as typed characters; the end of that input
// ends every line read as Enter would.
#include "platform/internal/key_queue.h"
#include "platform/win32/win32.h"

#include <algorithm>

namespace plat::win32 {

namespace {

constexpr int32_t READ_CHUNK = 256;
static_assert(READ_CHUNK <= KEY_QUEUE_PRESSES);
// A pipe cannot be waited on: its input is looked for this often.
constexpr DWORD PIPE_POLL_MS = 20;
constexpr uint8_t CARRIAGE_RETURN = '\r';
constexpr uint8_t LINE_FEED = '\n';
constexpr uint16_t VK_ENTER = VK_RETURN;

KeyQueue QUEUE;

bool is_console_input(Handle h) {
    DWORD mode = 0;
    return GetConsoleMode(native(h), &mode) != 0;
}

// A byte of a file or pipe as the press of a typed character.
InputEvent press_of(uint8_t byte) {
    InputEvent press{};
    press.event_type = KEY_EVENT;
    press.key_down = true;
    const bool enter = byte == CARRIAGE_RETURN || byte == LINE_FEED;
    press.ch = enter ? CARRIAGE_RETURN : byte;
    press.virtual_key = enter ? VK_ENTER : 0;
    return press;
}

// The bytes that can be read without waiting: a pipe says how many it
// holds; a file or a device other than a console never makes a read wait.
DWORD readable_bytes(HANDLE h) {
    if (GetFileType(h) != FILE_TYPE_PIPE) return READ_CHUNK;
    DWORD available = 0;
    if (PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr) == 0) return READ_CHUNK;
    return available;
}

void fill(Handle h) {
    if (QUEUE.count > 0) return;
    if (!QUEUE.at_end) {
        HANDLE in = native(h);
        const DWORD want = std::min<DWORD>(readable_bytes(in), READ_CHUNK);
        if (want == 0) return;
        uint8_t bytes[READ_CHUNK];
        DWORD got = 0;
        if (ReadFile(in, bytes, want, &got, nullptr) == 0 || got == 0) QUEUE.at_end = true;
        for (DWORD i = 0; i < got; ++i) key_queue_push(QUEUE, press_of(bytes[i]));
    }
    key_queue_end_line(QUEUE, press_of(CARRIAGE_RETURN));
}

} // namespace

uint32_t pending_events(Handle h) {
    if (is_console_input(h)) {
        DWORD count = 0;
        return GetNumberOfConsoleInputEvents(native(h), &count) != 0 ? count : 0;
    }
    fill(h);
    return static_cast<uint32_t>(QUEUE.count);
}

bool read_event(Handle h, InputEvent* event) {
    if (is_console_input(h)) {
        INPUT_RECORD record{};
        DWORD got = 0;
        if (ReadConsoleInputA(native(h), &record, 1, &got) == 0 || got == 0) return false;
        *event = InputEvent{};
        event->event_type = record.EventType;
        if (record.EventType != KEY_EVENT) return true;
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        event->key_down = key.bKeyDown != 0;
        event->virtual_key = key.wVirtualKeyCode;
        event->scan_code = key.wVirtualScanCode;
        event->ch = static_cast<uint8_t>(key.uChar.AsciiChar);
        event->control_state = key.dwControlKeyState;
        return true;
    }
    fill(h);
    return key_queue_pop(QUEUE, event);
}

void wait_input(Handle h, uint32_t ms) {
    present();
    act_on_termination_request();
    HANDLE termination = termination_event();
    if (is_console_input(h)) {
        HANDLE both[] = {native(h), termination};
        WaitForMultipleObjects(termination != nullptr ? 2 : 1, both, FALSE, ms);
    } else if (QUEUE.count == 0 && !QUEUE.at_end && readable_bytes(native(h)) == 0) {
        const DWORD slice = std::min<DWORD>(ms, PIPE_POLL_MS);
        if (termination != nullptr)
            WaitForSingleObject(termination, slice);
        else
            Sleep(slice);
    }
    act_on_termination_request();
}

} // namespace plat::win32
