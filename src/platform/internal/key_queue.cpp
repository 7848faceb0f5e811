#include "platform/internal/key_queue.h"

namespace plat {

namespace {

constexpr int32_t CAPACITY = KEY_QUEUE_PRESSES * EVENTS_PER_PRESS;

void put(KeyQueue& q, const InputEvent& event) {
    q.events[(q.head + q.count) % CAPACITY] = event;
    ++q.count;
}

} // namespace

void key_queue_push(KeyQueue& q, const InputEvent& press) {
    if (q.count > CAPACITY - EVENTS_PER_PRESS) return;
    put(q, press);
    InputEvent release = press;
    release.key_down = false;
    put(q, release);
}

bool key_queue_pop(KeyQueue& q, InputEvent* event) {
    if (q.count == 0) return false;
    *event = q.events[q.head];
    q.head = (q.head + 1) % CAPACITY;
    --q.count;
    return true;
}

void key_queue_end_line(KeyQueue& q, const InputEvent& enter) {
    if (q.at_end && q.count == 0) key_queue_push(q, enter);
}

} // namespace plat
