#include "video/ser_decode_ahead.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Slots {
    std::array<std::uint8_t, 3> bytes{};
    std::array<std::uint8_t*, 3> pointers{&bytes[0], &bytes[1], &bytes[2]};
};

TEST(DecodeAhead, DeliversInOrderOnTheCallerNeverOverwritingAHeldSlot)
{
    Slots slots;
    std::atomic<std::int64_t> released{0};
    std::atomic<bool> overran{false};
    std::vector<std::int64_t> delivered;
    const std::thread::id caller = std::this_thread::get_id();
    DecodeAhead(
        40, slots.pointers,
        [&](std::int64_t i, std::uint8_t* slot) {
            if (i - released.load() >= 3) overran = true;
            *slot = std::uint8_t(i);
        },
        [&](std::int64_t i, std::uint8_t* slot) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            // A slow sink now and then lets the worker run as far ahead as it may.
            if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_EQ(*slot, std::uint8_t(i));
            delivered.push_back(i);
            released = i + 1;
        });
    EXPECT_FALSE(overran);
    ASSERT_EQ(delivered.size(), 40u);
    for (std::int64_t i = 0; i < 40; ++i) EXPECT_EQ(delivered[std::size_t(i)], i);
}

TEST(DecodeAhead, AFailedDecodeComesAfterTheFramesBeforeIt)
{
    Slots slots;
    std::vector<std::int64_t> delivered;
    EXPECT_THROW(DecodeAhead(
                     10, slots.pointers,
                     [](std::int64_t i, std::uint8_t*) {
                         if (i == 5) throw std::runtime_error("bad frame");
                     },
                     [&](std::int64_t i, std::uint8_t*) { delivered.push_back(i); }),
                 std::runtime_error);
    EXPECT_EQ(delivered, (std::vector<std::int64_t>{0, 1, 2, 3, 4}));
}

TEST(DecodeAhead, AFailedDeliveryStopsTheWorkerBeforeReturning)
{
    Slots slots;
    std::atomic<std::int64_t> decoded{0};
    EXPECT_THROW(DecodeAhead(
                     1000, slots.pointers, [&](std::int64_t, std::uint8_t*) { ++decoded; },
                     [](std::int64_t i, std::uint8_t*) {
                         if (i == 2) throw std::logic_error("sink");
                     }),
                 std::logic_error);
    const std::int64_t atReturn = decoded.load();
    // Frames 0..2 delivered, at most three slots' worth decoded beyond them.
    EXPECT_LE(atReturn, 3 + 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(decoded.load(), atReturn);
}

} // namespace
