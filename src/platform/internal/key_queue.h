// Keys waiting to be read from input that reports presses only (a terminal,
// a file, a pipe). Each press is queued with its release, as a console
// reports both: a waiting release lets a key wait end at once.
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace plat {

// The most presses one fill of the queue may give: a chunk of input read at
// once and the byte that ends it.
constexpr int32_t KEY_QUEUE_PRESSES = 257;
constexpr int32_t EVENTS_PER_PRESS = 2;

struct KeyQueue {
    InputEvent events[KEY_QUEUE_PRESSES * EVENTS_PER_PRESS];
    int32_t head;
    int32_t count;
    bool at_end; // the input is closed: every line read ends at once
};

// Queues PRESS and its release; nothing when the queue is full (input is
// read only into an empty queue, at most KEY_QUEUE_PRESSES at a time).
void key_queue_push(KeyQueue& q, const InputEvent& press);

// Takes the oldest event; false if none waits.
bool key_queue_pop(KeyQueue& q, InputEvent* event);

// Closed input ends the line being read as Enter would: ENTER is queued
// when nothing else waits.
void key_queue_end_line(KeyQueue& q, const InputEvent& enter);

} // namespace plat
