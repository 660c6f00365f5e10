// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <vector>

// One SER frame read and converted ahead of the sink, with the buffers it
// keeps from frame to frame.
struct SerFrameSlot {
    std::uint32_t index = 0;
    // The stored samples: into buffer, or the file's own mapped pages;
    // nullptr when the file no longer held the frame.
    const std::uint8_t* stored = nullptr;
    std::vector<std::uint8_t> buffer;    // the stored samples, when copied
    std::vector<std::uint8_t> picture;   // the 24-bit picture, or the grey plane
    std::vector<std::uint8_t> swapped;   // big-endian samples turned round
};

// A fixed ring of slots between the thread that reads frames and the one that
// plays them: the reader acquires a free slot, fills it and publishes it; the
// player takes published slots in order and recycles them. Its size bounds
// how far reading runs ahead and the memory it holds; nothing is allocated
// per frame.
class SerFrameQueue {
public:
    explicit SerFrameQueue(std::size_t slotCount);
    SerFrameQueue(const SerFrameQueue&) = delete;
    SerFrameQueue& operator=(const SerFrameQueue&) = delete;

    std::vector<SerFrameSlot>& slots() { return m_slots; }

    // Reading thread. acquire blocks until a slot is free and returns nullptr
    // once stop is requested; finish says no slot will follow.
    SerFrameSlot* acquire(std::stop_token stop);
    void publish(SerFrameSlot* slot);
    void finish();

    // Playing thread. next blocks until a slot is published and returns
    // nullptr once the reader has finished and every slot was taken.
    SerFrameSlot* next();
    void recycle(SerFrameSlot* slot);

private:
    std::vector<SerFrameSlot> m_slots;
    std::mutex m_mutex;
    std::condition_variable_any m_slotFreed;
    std::condition_variable m_slotPublished;
    std::vector<SerFrameSlot*> m_free;
    std::vector<SerFrameSlot*> m_ready;   // ring of published slots
    std::size_t m_readyHead = 0;
    std::size_t m_readyCount = 0;
    bool m_finished = false;
};
