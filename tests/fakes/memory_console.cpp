#include "fakes/memory_console.h"

#include <gtest/gtest.h>

#include "platform/internal/cellbuffer.h"

MemoryConsole FAKE;

namespace {

constexpr plat::Handle FAKE_REOPENED = 42;

bool fake_info(plat::Handle h, plat::ScreenInfo* info) {
    if (h == FAKE_REOPENED ? FAKE.reopened_info_fails : FAKE.info_fails) return false;
    *info = plat::ScreenInfo{FAKE.width, FAKE.height, FAKE.cursor_x, FAKE.cursor_y, FAKE.attribute};
    return true;
}

plat::Handle fake_open() {
    return FAKE.open_fails ? plat::INVALID_HANDLE : FAKE_REOPENED;
}

uint32_t fake_platform_id() {
    return plat::PLATFORM_ID_NT;
}

void fake_set_cursor(plat::Handle, int32_t x, int32_t y) {
    FAKE.cursor_x = x;
    FAKE.cursor_y = y;
}

void fake_write_cell(plat::Handle, int32_t x, int32_t y, plat::Cell cell) {
    plat::cells_write(FAKE.buffer, x, y, cell);
}

void fake_scroll(plat::Handle, plat::Rect rect, plat::Rect clip, int32_t dx, int32_t dy,
                 plat::Cell fill) {
    plat::cells_scroll(FAKE.buffer, rect, clip, dx, dy, fill);
}

void fake_sleep(uint32_t ms) {
    FAKE.slept_ms += ms;
    ++FAKE.sleeps;
    if (FAKE.on_sleep) FAKE.on_sleep();
}

uint32_t fake_pending(plat::Handle) {
    return static_cast<uint32_t>(FAKE.events.size());
}

bool fake_read(plat::Handle, plat::InputEvent* event) {
    if (FAKE.events.empty()) return false;
    *event = FAKE.events.front();
    FAKE.events.pop_front();
    return true;
}

void fake_wait(plat::Handle, uint32_t ms) {
    ++FAKE.waits;
    if (ms > FAKE.longest_wait_ms) FAKE.longest_wait_ms = ms;
    // A test that runs out of scripted keys would wait for ever: end the line.
    FAKE.idle_waits = FAKE.events.empty() ? FAKE.idle_waits + 1 : 0;
    if (FAKE.idle_waits > FAKE.allowed_idle_waits) {
        FAKE.idle_waits = 0;
        ADD_FAILURE() << "the line editor waited for a key the test never typed";
        FAKE.key(13, 28, 13);
    }
}

const plat::Console MEMORY_CONSOLE = {
    fake_info,   fake_open,  fake_platform_id, fake_set_cursor, fake_write_cell,
    fake_scroll, fake_sleep, fake_pending,     fake_read,       fake_wait};

} // namespace

void MemoryConsole::reset(int w, int h) {
    *this = MemoryConsole{};
    width = w;
    height = h;
    cells.assign(static_cast<size_t>(w) * static_cast<size_t>(h), plat::Cell{});
    scratch.assign(cells.size(), plat::Cell{});
    rows.assign(static_cast<size_t>(h), plat::RowMarks{});
    buffer = plat::CellBuffer{cells.data(), scratch.data(), rows.data(), w, h};
    plat::cells_start(buffer, plat::Cell{'.', 7});
}

std::string MemoryConsole::row(int y) const {
    std::string s;
    for (int x = 0; x < width; ++x) s += static_cast<char>(at(x, y).ch);
    return s;
}

void MemoryConsole::press(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state) {
    events.push_back(plat::InputEvent{plat::EVENT_TYPE_KEY, true, vk, scan, ch, state});
}

void MemoryConsole::release(uint16_t vk, uint16_t scan, uint32_t state) {
    events.push_back(plat::InputEvent{plat::EVENT_TYPE_KEY, false, vk, scan, 0, state});
}

void MemoryConsole::key(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state) {
    press(vk, scan, ch, state);
    release(vk, scan, state);
}

void MemoryConsole::type(const std::string& text) {
    for (char c : text) {
        const auto ch = static_cast<uint8_t>(c);
        key(ch >= 'a' && ch <= 'z' ? static_cast<uint16_t>(ch - 32) : ch, 0, ch);
    }
}

void install_memory_console(int w, int h) {
    FAKE.reset(w, h);
    plat::CONSOLE = &MEMORY_CONSOLE;
}
