// Keys from the console's input events, or, when standard input is a file
// or a pipe, its bytes taken as typed characters; the end of that input
// ends every line read as Enter would.
//
// While the program runs, the console's input has the mode it needs, given
// back at the end: Ctrl+C is a signal whatever mode an earlier program left
// (processed input), and a resize of the buffer comes as an event (window
// input), which every update looks for, so that what the resize cut off is
// drawn again at once.
#include "platform/internal/hooks.h"
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
constexpr char CONSOLE_INPUT_NAME[] = "CONIN$";
constexpr DWORD INPUT_MODE_ON = ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT;
constexpr DWORD EVENTS_AT_ONCE = 16;
// Input events pass on as the console reports them, with the same numbers.
static_assert(EVENT_TYPE_KEY == KEY_EVENT && STATE_RIGHT_ALT == RIGHT_ALT_PRESSED &&
              STATE_LEFT_ALT == LEFT_ALT_PRESSED && STATE_RIGHT_CTRL == RIGHT_CTRL_PRESSED &&
              STATE_LEFT_CTRL == LEFT_CTRL_PRESSED && STATE_SHIFT == SHIFT_PRESSED &&
              STATE_ENHANCED == ENHANCED_KEY);
static_assert(VKEY_RETURN == VK_RETURN && VKEY_MENU == VK_MENU && VKEY_NUMPAD0 == VK_NUMPAD0 &&
              VKEY_NUMPAD9 == VK_NUMPAD9 && VKEY_SHIFT == VK_SHIFT && VKEY_CONTROL == VK_CONTROL &&
              VKEY_CAPITAL == VK_CAPITAL && VKEY_NUMLOCK == VK_NUMLOCK && VKEY_SCROLL == VK_SCROLL);

KeyQueue QUEUE;
// The console's input, whatever standard input is, and its mode as found.
HANDLE CONSOLE_INPUT = INVALID_HANDLE_VALUE;
DWORD FOUND_MODE = 0;
// A key waits at the front of the console's input, or the input cannot be
// looked at: the events behind it are left for the key reads.
bool KEY_WAITING = false;

bool is_console_input(Handle h) {
    DWORD mode = 0;
    return GetConsoleMode(native(h), &mode) != 0;
}

// A byte of a file or pipe as the press of a typed character.
InputEvent press_of(uint8_t byte) {
    if (byte == CARRIAGE_RETURN || byte == LINE_FEED)
        return InputEvent{EVENT_TYPE_KEY, true, VKEY_RETURN, 0, CARRIAGE_RETURN, 0};
    return InputEvent{EVENT_TYPE_KEY, true, 0, 0, byte, 0};
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

void give_back_console_input() {
    SetConsoleMode(CONSOLE_INPUT, FOUND_MODE);
}

// An event a key read acts on, or may: a key press, or Alt's release, which
// ends a character typed as its code.
bool read_by_keys(const INPUT_RECORD& record) {
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    return record.EventType == KEY_EVENT && (key.bKeyDown != 0 || key.wVirtualKeyCode == VK_MENU);
}

// Takes the events at the front of the console's input that no key read
// acts on (a resize, focus, mouse, a key's release), so that the input can
// be waited on again; true if one was a resize. A key stays for the line.
bool take_window_events() {
    bool resized = false;
    INPUT_RECORD records[EVENTS_AT_ONCE];
    for (;;) {
        DWORD got = 0;
        if (PeekConsoleInputA(CONSOLE_INPUT, records, EVENTS_AT_ONCE, &got) == 0) break;
        if (got == 0) return resized;
        DWORD free = 0;
        for (; free < got && !read_by_keys(records[free]); ++free)
            resized = resized || records[free].EventType == WINDOW_BUFFER_SIZE_EVENT;
        DWORD taken = 0;
        if (free == 0 || ReadConsoleInputA(CONSOLE_INPUT, records, free, &taken) == 0) break;
    }
    KEY_WAITING = true;
    return resized;
}

} // namespace

void take_console_input() {
    CONSOLE_INPUT =
        CreateFileA(CONSOLE_INPUT_NAME, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (CONSOLE_INPUT == INVALID_HANDLE_VALUE) return;
    if (GetConsoleMode(CONSOLE_INPUT, &FOUND_MODE) == 0 ||
        SetConsoleMode(CONSOLE_INPUT, FOUND_MODE | INPUT_MODE_ON) == 0) {
        CloseHandle(CONSOLE_INPUT);
        CONSOLE_INPUT = INVALID_HANDLE_VALUE;
        return;
    }
    at_process_end(give_back_console_input);
}

bool resize_reported() {
    if (CONSOLE_INPUT == INVALID_HANDLE_VALUE || KEY_WAITING ||
        WaitForSingleObject(CONSOLE_INPUT, 0) != WAIT_OBJECT_0)
        return false;
    return take_window_events();
}

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
        KEY_WAITING = false;
        *event = InputEvent{};
        event->event_type = record.EventType;
        if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) look_soon();
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
        // In slices, each followed by an update, which looks at the console
        // now and then.
        HANDLE both[] = {native(h), termination};
        const DWORD started = GetTickCount();
        for (DWORD waited = 0; waited < ms; waited = GetTickCount() - started) {
            const DWORD slice = std::min<DWORD>(ms - waited, LOOK_INTERVAL_MS);
            if (WaitForMultipleObjects(termination != nullptr ? 2 : 1, both, FALSE, slice) !=
                WAIT_TIMEOUT)
                break;
            present();
        }
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
