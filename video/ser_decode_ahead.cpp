#include "video/ser_decode_ahead.h"

#include <cassert>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// What the two threads share; every field is guarded by mutex.
struct Handover {
    std::mutex mutex;
    std::condition_variable changed;
    std::int64_t decoded = 0;     // frames the worker has finished
    std::int64_t released = 0;    // frames whose delivery has returned
    bool stop = false;            // the caller gave up: the worker must end
    std::exception_ptr failure;   // what ended the worker early
};

void Work(Handover& h, std::int64_t count, std::span<std::uint8_t* const> slots,
          const std::function<void(std::int64_t, std::uint8_t*)>& decode)
{
    const auto depth = std::int64_t(slots.size());
    for (std::int64_t i = 0; i < count; ++i) {
        {
            std::unique_lock lock(h.mutex);
            h.changed.wait(lock, [&] { return h.stop || i - h.released < depth; });
            if (h.stop)
                return;
        }
        try {
            decode(i, slots[std::size_t(i % depth)]);
        } catch (...) {
            const std::lock_guard lock(h.mutex);
            h.failure = std::current_exception();
            h.changed.notify_all();
            return;
        }
        const std::lock_guard lock(h.mutex);
        h.decoded = i + 1;
        h.changed.notify_all();
    }
}

// Joins the worker however the caller leaves, after telling it to stop, so
// that it never outlives the state it shares.
class WorkerGuard {
public:
    WorkerGuard(Handover& h, std::thread worker) : m_handover(h), m_worker(std::move(worker)) {}
    ~WorkerGuard()
    {
        {
            const std::lock_guard lock(m_handover.mutex);
            m_handover.stop = true;
        }
        m_handover.changed.notify_all();
        m_worker.join();
    }
    WorkerGuard(const WorkerGuard&) = delete;
    WorkerGuard& operator=(const WorkerGuard&) = delete;

private:
    Handover& m_handover;
    std::thread m_worker;
};

} // namespace

void DecodeAhead(std::int64_t count, std::span<std::uint8_t* const> slots,
                 const std::function<void(std::int64_t, std::uint8_t*)>& decode,
                 const std::function<void(std::int64_t, std::uint8_t*)>& deliver)
{
    assert(!slots.empty());
    if (count <= 0)
        return;
    Handover h;
    const WorkerGuard guard(h, std::thread(Work, std::ref(h), count, slots, std::cref(decode)));
    const auto depth = std::int64_t(slots.size());
    for (std::int64_t i = 0; i < count; ++i) {
        {
            std::unique_lock lock(h.mutex);
            h.changed.wait(lock, [&] { return h.decoded > i || h.failure; });
            if (h.decoded <= i)
                std::rethrow_exception(h.failure);
        }
        deliver(i, slots[std::size_t(i % depth)]);
        const std::lock_guard lock(h.mutex);
        h.released = i + 1;
        h.changed.notify_all();
    }
}
