// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "video/ffmpeg/ffmpeg_handles.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

// One decoded frame on its way from the decoding thread to the sink.
struct DecodedFrame {
    // width x height pixels, BGR, rows bottom-up, stride width x 3; points
    // into storage or into held.
    std::uint8_t* pixels = nullptr;
    // Or, for a sink that takes grey frames: the bottom row of a grey frame
    // held in held, and the step between rows (negative: stored top-down).
    const std::uint8_t* grayBottomRow = nullptr;
    std::ptrdiff_t grayStride = 0;
    // Or a YUV frame in held, whose green channel and picture the consumer
    // computes where it needs them.
    bool painted = false;
    double sampleTime = 0.0;                   // seconds from the stream's start
    std::unique_ptr<std::uint8_t[]> storage;   // converted pixels, allocated once and reused
    FramePtr held;                             // a decoder frame that already has the layout
};

// A fixed pool of DecodedFrame slots cycling between one decoding thread and
// one consumer: the decoder acquires a free slot, fills it and publishes it;
// the consumer takes published slots in order and recycles them. The pool
// size bounds how far decoding runs ahead and how much memory it holds; no
// allocation happens per frame.
class FrameQueue {
public:
    explicit FrameQueue(std::size_t slotCount);
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Decoding thread. acquire blocks until a slot is free and returns
    // nullptr once stop is requested. finish ends the stream; a non-null
    // error reaches the consumer after the frames published before it.
    DecodedFrame* acquire(std::stop_token stop);
    void publish(DecodedFrame* frame);
    void finish(std::exception_ptr error);

    // Consumer. next blocks until a frame is published and returns nullptr
    // at the end of the stream; recycle hands a slot back (releasing any
    // decoder frame it held).
    DecodedFrame* next();
    void recycle(DecodedFrame* frame);
    // The decoding thread's failure, once next has returned nullptr.
    std::exception_ptr error() const;

private:
    std::vector<DecodedFrame> m_slots;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_slotFreed;
    std::condition_variable m_framePublished;
    std::vector<DecodedFrame*> m_free;
    std::vector<DecodedFrame*> m_ready;   // ring of published frames
    std::size_t m_readyHead = 0;
    std::size_t m_readyCount = 0;
    bool m_finished = false;
    std::exception_ptr m_error;
};
