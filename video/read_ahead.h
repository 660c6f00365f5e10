// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/frame_source.h"

#include <sched.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <stop_token>
#include <thread>
#include <vector>

// Threads beyond two buy little: the copy from the page cache is bound by
// memory, and the sink's turn needs a core of its own.
inline constexpr unsigned kMaxReadingThreads = 2;

// How many reading threads to start, at most limit: one per core this
// process may run on (a run confined with taskset gets what it was given).
inline unsigned ReadingThreads(unsigned limit = kMaxReadingThreads)
{
    unsigned cores = std::thread::hardware_concurrency();
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        cores = unsigned(CPU_COUNT(&allowed));
    return std::clamp(cores, 1u, std::max(limit, 1u));
}

// The frames one play of a source of frames frames at rate frames a second
// delivers, for sources that read each frame by its place: from the limits'
// first frame, those whose presentation time i / rate lies before the stop,
// at most maxFrames of them.
struct PlayedFrames {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};
inline PlayedFrames FramesToPlay(const PlayLimits& limits, std::uint32_t frames, double rate)
{
    std::uint32_t end = frames;
    if (limits.stopTime < double(frames) / rate) {
        std::uint32_t before = 0;
        while (before < end && double(before) / rate < limits.stopTime)
            ++before;
        end = before;
    }
    // Every frame lies in its own place: a later start reads nothing before it.
    const std::uint32_t first = std::min(std::uint32_t(std::max(limits.firstFrame, 0)), end);
    std::uint32_t count = end - first;
    if (limits.maxFrames > 0)
        count = std::min(count, std::uint32_t(limits.maxFrames));
    return {first, count};
}

// How many slots a ring of frames of slotBytes each gets for frames frames:
// one per reader and one in the player's hands at least, more while the
// ring stays within 8 MiB, as with small frames a few spare slots save the
// threads most of their waits for one another (and the wake-ups they cost).
inline std::size_t RingSlots(unsigned readers, std::size_t slotBytes, std::uint32_t frames)
{
    constexpr std::size_t kRingBytes = std::size_t(8) << 20;
    const std::size_t least = std::size_t(readers) + 1;
    const std::size_t fitting = slotBytes > 0 ? kRingBytes / slotBytes : least;
    return std::max<std::size_t>(std::min<std::size_t>(std::max(least, fitting), frames), 1);
}

// A fixed ring of frame slots filled by several reading threads at once and
// handed to the player strictly in frame order. Frame i always lands in slot
// i mod size: a reader claims the next frame, waits until the player has
// given back the slot's frame before it (i - size), fills it in its own time
// and publishes it; the player takes frame after frame, waiting for each.
// A reader never waits while holding a claimed frame, so readers cannot
// block one another, and the ring bounds both the memory and how far
// reading runs ahead. Nothing is allocated per frame.
template <class Slot>
class OrderedSlots {
public:
    // frames: how many frames are to be read, 0 .. frames - 1.
    OrderedSlots(std::size_t slotCount, std::uint32_t frames)
        : m_slots(slotCount), m_filled(slotCount, kNone), m_failures(slotCount), m_frames(frames)
    {
        assert(slotCount > 0);
    }
    OrderedSlots(const OrderedSlots&) = delete;
    OrderedSlots& operator=(const OrderedSlots&) = delete;

    std::vector<Slot>& slots() { return m_slots; }

    // Reading threads. claim gives the next unread frame's index and its
    // slot, once the slot is free; nullptr when every frame was claimed or
    // stop was requested.
    Slot* claim(std::stop_token stop, std::uint32_t& index)
    {
        std::unique_lock lock(m_mutex);
        if (m_nextClaim >= m_frames || m_failed || stop.stop_requested())
            return nullptr;
        index = m_nextClaim++;
        const std::size_t at = index % m_slots.size();
        // The slot is free once the player gave back the frame before it.
        if (!m_changed.wait(lock, stop,
                            [&] { return index < m_slots.size() || m_given >= index - m_slots.size() + 1; }))
            return nullptr;
        return &m_slots[at];
    }

    // Every claimed frame is published, filled or failed: the player waits
    // for each in turn. A failure ends the claims; the frames claimed before
    // it still come, then the player gets the failure in the frame's place.
    void publish(std::uint32_t index, std::exception_ptr failure = nullptr)
    {
        {
            std::lock_guard lock(m_mutex);
            const std::size_t at = index % m_slots.size();
            m_filled[at] = index;
            m_failures[at] = failure;
            m_failed = m_failed || failure != nullptr;
        }
        m_changed.notify_all();
    }

    // The player. take waits for frame index (the one after the last given
    // back) and returns its slot, or throws what its reader failed with.
    Slot& take(std::uint32_t index)
    {
        std::unique_lock lock(m_mutex);
        const std::size_t at = index % m_slots.size();
        m_changed.wait(lock, [&] { return m_filled[at] == index; });
        if (m_failures[at])
            std::rethrow_exception(m_failures[at]);
        return m_slots[at];
    }

    // Frame index is done with; its slot may take the frame size places on.
    void giveBack(std::uint32_t index)
    {
        {
            std::lock_guard lock(m_mutex);
            m_given = index + 1;
        }
        m_changed.notify_all();
    }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t(0);

    std::vector<Slot> m_slots;
    std::vector<std::uint64_t> m_filled;          // per slot: the frame published in it
    std::vector<std::exception_ptr> m_failures;   // per slot: why its frame could not be read
    std::uint32_t m_frames;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::uint32_t m_nextClaim = 0;
    std::uint64_t m_given = 0;   // frames 0 .. m_given - 1 are given back
    bool m_failed = false;       // a reader failed: nothing more is claimed
};

// Plays frames 0 .. frames - 1 of a source that reads each frame by its
// place: reading threads fill an OrderedSlots ring ahead (one per core, at
// most readers), and the calling thread delivers the frames in order.
//
// - prepare(Slot&) gives a slot its buffers, once, before any frame;
// - makeReader() makes one reader per thread (on the calling thread), a
//   callable (Slot&, std::uint32_t index) that fills the slot with that
//   frame; it throws when the frame cannot be read;
// - deliver(Slot&) hands a filled slot to the sink and returns the sink's
//   status: non-zero ends playing.
//
// A reader's failure reaches the caller as an exception once the frames
// before it are delivered, as any failure of the sink does. When no
// thread can be started, the calling thread reads each frame itself.
// Throws FrameSourceError(Start) when the ring cannot be allocated.
template <class Slot, class Prepare, class MakeReader, class Deliver>
void PlayAhead(std::uint32_t frames, unsigned readers, std::size_t slotBytes, Prepare prepare, MakeReader makeReader,
               Deliver deliver)
{
    if (frames == 0)
        return;
    readers = std::max(readers, 1u);
    using Reader = decltype(makeReader());
    std::optional<OrderedSlots<Slot>> ring;
    std::vector<Reader> made;
    try {
        ring.emplace(RingSlots(readers, slotBytes, frames), frames);
        for (Slot& slot : ring->slots())
            prepare(slot);
        made.reserve(readers);
        for (unsigned k = 0; k < readers; ++k)
            made.push_back(makeReader());
    } catch (const std::bad_alloc&) {
        throw FrameSourceError(SourceFailure::Start, -ENOMEM);
    }

    // Declared after the ring: stopped and joined before it goes, however
    // playing ends (a sink's exception included).
    std::vector<std::jthread> threads;
    threads.reserve(readers);
    try {
        for (unsigned k = 0; k < readers; ++k) {
            threads.emplace_back([&ring, &reader = made[k]](std::stop_token stop) {
                std::uint32_t index = 0;
                while (Slot* slot = ring->claim(stop, index)) {
                    try {
                        reader(*slot, index);
                        ring->publish(index);
                    } catch (...) {
                        ring->publish(index, std::current_exception());
                    }
                }
            });
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those that started do the reading.
    }
    if (threads.empty()) {
        Slot& slot = ring->slots().front();
        for (std::uint32_t i = 0; i < frames; ++i) {
            made.front()(slot, i);
            if (deliver(slot) != 0)
                return;
        }
        return;
    }
    for (std::uint32_t i = 0; i < frames; ++i) {
        Slot& slot = ring->take(i);
        const std::int32_t status = deliver(slot);
        ring->giveBack(i);
        if (status != 0)
            return;
    }
}
