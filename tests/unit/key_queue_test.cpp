// The key queue both ports read keys through: every press comes out with
// its release, in order, across the ring's end; a full queue drops the new
// press rather than an old one; closed input gives Enter only once nothing
// else waits, and again for every later read.
#include <gtest/gtest.h>

#include <memory>

#include "platform/internal/key_queue.h"

namespace {

plat::InputEvent press(uint8_t ch) {
    return plat::InputEvent{plat::EVENT_TYPE_KEY, true, ch, 0, ch, 0};
}

// Pops one event and says whether it is CH pressed (DOWN) or released.
::testing::AssertionResult pops(plat::KeyQueue& q, uint8_t ch, bool down) {
    plat::InputEvent e{};
    if (!plat::key_queue_pop(q, &e)) return ::testing::AssertionFailure() << "queue empty";
    if (e.ch != ch || e.key_down != down || e.event_type != plat::EVENT_TYPE_KEY)
        return ::testing::AssertionFailure()
               << "got " << int{e.ch} << (e.key_down ? " down" : " up") << ", want " << int{ch};
    return ::testing::AssertionSuccess();
}

TEST(KeyQueue, GivesEachPressThenItsReleaseInOrderAcrossTheRingsEnd) {
    auto q = std::make_unique<plat::KeyQueue>();
    // Fill and drain in rounds that do not divide the capacity, so the head
    // passes the end of the ring several times.
    constexpr int ROUND = 100;
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < ROUND; ++i) plat::key_queue_push(*q, press(static_cast<uint8_t>(i)));
        EXPECT_EQ(q->count, ROUND * plat::EVENTS_PER_PRESS);
        for (int i = 0; i < ROUND; ++i) {
            ASSERT_TRUE(pops(*q, static_cast<uint8_t>(i), true)) << "round " << round;
            ASSERT_TRUE(pops(*q, static_cast<uint8_t>(i), false)) << "round " << round;
        }
        plat::InputEvent e{};
        EXPECT_FALSE(plat::key_queue_pop(*q, &e));
    }
}

TEST(KeyQueue, AFullQueueDropsTheNewPressAndKeepsTheOldOnes) {
    auto q = std::make_unique<plat::KeyQueue>();
    for (int i = 0; i <= plat::KEY_QUEUE_PRESSES; ++i)
        plat::key_queue_push(*q, press(static_cast<uint8_t>(i % 200 + 1)));
    EXPECT_EQ(q->count, plat::KEY_QUEUE_PRESSES * plat::EVENTS_PER_PRESS);
    for (int i = 0; i < plat::KEY_QUEUE_PRESSES; ++i) {
        ASSERT_TRUE(pops(*q, static_cast<uint8_t>(i % 200 + 1), true)) << i;
        ASSERT_TRUE(pops(*q, static_cast<uint8_t>(i % 200 + 1), false)) << i;
    }
}

TEST(KeyQueue, ClosedInputEndsTheLineOnlyWhenNothingElseWaits) {
    constexpr uint8_t CR = '\r';
    struct Case {
        const char* name;
        bool at_end;
        bool key_waiting;
        bool enter_expected;
    };
    const Case cases[] = {
        {"input still open", false, false, false},
        {"closed, a key still waiting", true, true, false},
        {"closed and nothing waiting", true, false, true},
    };
    for (const Case& c : cases) {
        auto q = std::make_unique<plat::KeyQueue>();
        q->at_end = c.at_end;
        if (c.key_waiting) plat::key_queue_push(*q, press('x'));
        plat::key_queue_end_line(*q, press(CR));
        if (c.key_waiting) {
            ASSERT_TRUE(pops(*q, 'x', true)) << c.name;
            ASSERT_TRUE(pops(*q, 'x', false)) << c.name;
        }
        EXPECT_EQ(q->count, c.enter_expected ? plat::EVENTS_PER_PRESS : 0) << c.name;
    }
    // Every read after the end gets its own Enter.
    auto q = std::make_unique<plat::KeyQueue>();
    q->at_end = true;
    for (int read = 0; read < 3; ++read) {
        plat::key_queue_end_line(*q, press(CR));
        ASSERT_TRUE(pops(*q, CR, true)) << read;
        ASSERT_TRUE(pops(*q, CR, false)) << read;
    }
}

} // namespace
