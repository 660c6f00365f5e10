// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/frame_queue.h"

#include <cassert>

FrameQueue::FrameQueue(std::size_t slotCount) : m_slots(slotCount), m_ready(slotCount)
{
    assert(slotCount > 0);
    m_free.reserve(slotCount);
    for (DecodedFrame& slot : m_slots) {
        slot.held = makeFrame();
        m_free.push_back(&slot);
    }
}

DecodedFrame* FrameQueue::acquire(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    if (!m_slotFreed.wait(lock, stop, [this] { return !m_free.empty(); }))
        return nullptr;
    DecodedFrame* slot = m_free.back();
    m_free.pop_back();
    return slot;
}

void FrameQueue::publish(DecodedFrame* frame)
{
    {
        std::lock_guard lock(m_mutex);
        assert(m_readyCount < m_ready.size());
        m_ready[(m_readyHead + m_readyCount) % m_ready.size()] = frame;
        ++m_readyCount;
    }
    m_framePublished.notify_one();
}

void FrameQueue::finish(std::exception_ptr error)
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_error = std::move(error);
    }
    m_framePublished.notify_one();
}

DecodedFrame* FrameQueue::next()
{
    std::unique_lock lock(m_mutex);
    m_framePublished.wait(lock, [this] { return m_readyCount > 0 || m_finished; });
    if (m_readyCount == 0)
        return nullptr;
    DecodedFrame* frame = m_ready[m_readyHead];
    m_readyHead = (m_readyHead + 1) % m_ready.size();
    --m_readyCount;
    return frame;
}

void FrameQueue::recycle(DecodedFrame* frame)
{
    // Unreferencing outside the lock: it may free a large buffer.
    av_frame_unref(frame->held.get());
    frame->pixels = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(frame);
    }
    m_slotFreed.notify_one();
}

std::exception_ptr FrameQueue::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}
