// An in-memory console for the tests: a cell grid with attributes, the
// cursor, a recorded sleep total instead of real pauses, and scripted input
// events. Installing it points the platform console at it.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/internal/cellbuffer.h"

struct MemoryConsole {
    int width = 80;
    int height = 25;
    int cursor_x = 0; // 0-based, as the platform sees it
    int cursor_y = 0;
    uint16_t attribute = 7;
    bool info_fails = false; // the standard output is no console
    bool open_fails = false; // no console can be opened by name
    bool reopened_info_fails = false;
    std::vector<plat::Cell> cells;
    std::vector<plat::Cell> scratch;
    std::vector<plat::RowMarks> rows;
    plat::CellBuffer buffer{}; // over CELLS, SCRATCH and ROWS, as every console keeps it
    unsigned long slept_ms = 0;
    int sleeps = 0;
    int waits = 0;
    int idle_waits = 0;
    uint32_t longest_wait_ms = 0;
    int allowed_idle_waits = 3;     // waits in a row with no scripted key before giving up
    std::function<void()> on_sleep; // called at every pause, e.g. to take a picture
    std::deque<plat::InputEvent> events;

    // Fresh state of the given size, filled with '.' in attribute 7 so that
    // clearing is visible.
    void reset(int w = 80, int h = 25);
    plat::Cell at(int x, int y) const { return cells[static_cast<size_t>(y * width + x)]; }
    // Row Y's characters (0-based), trailing blanks kept.
    std::string row(int y) const;
    // Queues a key press and its release.
    void key(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state = 0);
    void press(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t state = 0);
    void release(uint16_t vk, uint16_t scan, uint32_t state = 0);
    // Types each character of TEXT as its key.
    void type(const std::string& text);
};

extern MemoryConsole FAKE;

// Points the platform at FAKE, reset to the given size.
void install_memory_console(int w = 80, int h = 25);
