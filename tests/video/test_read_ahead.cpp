// SPDX-License-Identifier: GPL-3.0-or-later
// The read-ahead loop every source that reads frames by their place shares:
// frames in order, none lost or repeated, whatever the readers' timing; a
// stop or a failure ends it cleanly.

#include "video/read_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>

namespace {

struct Slot {
    std::uint32_t frame = ~0u;
    std::vector<std::uint32_t> buffer;   // given once, by prepare
};

struct Played {
    std::vector<std::uint32_t> delivered;
    int prepared = 0;
};

// Plays frames through the smallest ring (slots of 8 MiB: one per reader
// and one for the player), readers pausing at random, the sink answering
// stop after stopAfter frames.
Played PlayFrames(std::uint32_t frames, unsigned readers, std::uint32_t stopAfter = 0)
{
    Played run;
    const std::size_t tinySlots = std::size_t(8) << 20;   // a ring of readers + 1 slots
    PlayAhead<Slot>(
        frames, readers, tinySlots,
        [&](Slot& slot) {
            slot.buffer.assign(4, 0);
            ++run.prepared;
        },
        [&] {
            return [random = std::mt19937(unsigned(run.prepared))](Slot& slot, std::uint32_t index) mutable {
                if (random() % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                slot.frame = index;
                slot.buffer.assign(4, index);
            };
        },
        [&](Slot& slot) -> std::int32_t {
            EXPECT_EQ(slot.buffer, std::vector<std::uint32_t>(4, slot.frame));
            run.delivered.push_back(slot.frame);
            return stopAfter > 0 && run.delivered.size() == stopAfter ? 1 : 0;
        });
    return run;
}

std::vector<std::uint32_t> Iota(std::uint32_t count)
{
    std::vector<std::uint32_t> out(count);
    for (std::uint32_t i = 0; i < count; ++i)
        out[i] = i;
    return out;
}

}   // namespace

TEST(ReadAhead, ThousandsOfFramesInOrderThroughATinyRing)
{
    for (unsigned readers : {1u, 2u, 4u}) {
        const Played run = PlayFrames(5000, readers);
        EXPECT_EQ(run.delivered, Iota(5000)) << readers << " readers";
        EXPECT_EQ(run.prepared, int(readers) + 1) << readers << " readers";
    }
    EXPECT_TRUE(PlayFrames(0, 2).delivered.empty());
}

TEST(ReadAhead, AStopMidwayEndsWithTheFramesBeforeIt)
{
    EXPECT_EQ(PlayFrames(5000, 2, 1234).delivered, Iota(1234));
}

// A frame that cannot be read reaches the player after every frame before
// it, as an exception, not as a quiet end or a crash.
TEST(ReadAhead, AReadersFailureArrivesInItsFramesPlace)
{
    for (unsigned readers : {1u, 2u}) {
        std::vector<std::uint32_t> delivered;
        try {
            PlayAhead<Slot>(
                3000, readers, 0, [](Slot&) {},
                [] {
                    return [](Slot& slot, std::uint32_t index) {
                        if (index == 2500)
                            throw std::runtime_error("unreadable");
                        slot.frame = index;
                    };
                },
                [&](Slot& slot) -> std::int32_t {
                    delivered.push_back(slot.frame);
                    return 0;
                });
            ADD_FAILURE() << "no failure reached the player";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "unreadable");
        }
        EXPECT_EQ(delivered, Iota(2500)) << readers << " readers";
    }
}
