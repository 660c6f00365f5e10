// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_frame_queue.h"

#include <cassert>

SerFrameQueue::SerFrameQueue(std::size_t slotCount)
    : m_slots(slotCount), m_ready(slotCount)
{
    assert(slotCount > 0);
    m_free.reserve(slotCount);
    // Handed out in order, so a play that needs one slot touches only one.
    for (auto slot = m_slots.rbegin(); slot != m_slots.rend(); ++slot)
        m_free.push_back(&*slot);
}

SerFrameSlot* SerFrameQueue::acquire(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    if (!m_slotFreed.wait(lock, stop, [this] { return !m_free.empty(); }))
        return nullptr;
    SerFrameSlot* slot = m_free.back();
    m_free.pop_back();
    return slot;
}

void SerFrameQueue::publish(SerFrameSlot* slot)
{
    {
        std::lock_guard lock(m_mutex);
        assert(m_readyCount < m_ready.size());
        m_ready[(m_readyHead + m_readyCount) % m_ready.size()] = slot;
        ++m_readyCount;
    }
    m_slotPublished.notify_one();
}

void SerFrameQueue::finish()
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_slotPublished.notify_one();
}

SerFrameSlot* SerFrameQueue::next()
{
    std::unique_lock lock(m_mutex);
    m_slotPublished.wait(lock, [this] { return m_readyCount > 0 || m_finished; });
    if (m_readyCount == 0)
        return nullptr;
    SerFrameSlot* slot = m_ready[m_readyHead];
    m_readyHead = (m_readyHead + 1) % m_ready.size();
    --m_readyCount;
    return slot;
}

void SerFrameQueue::recycle(SerFrameSlot* slot)
{
    {
        std::lock_guard lock(m_mutex);
        m_free.push_back(slot);
    }
    m_slotFreed.notify_one();
}
