// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi/plain_avi_source.h"

#include "video/avi/avi_chunk_player.h"
#include "video/avi/plain_avi.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <system_error>

using orbicrop::fileio::InputFile;

namespace {

class PlainAviSource final : public FrameSource {
public:
    PlainAviSource(const PlainAvi& avi, AviChunkPlayer player)
        : m_avi(avi.width, avi.height, avi.scale, avi.rate, std::int64_t(avi.chunks.size())),
          m_player(std::move(player)),
          m_duration(HundredNanoseconds(m_avi.frames, {m_avi.scale, m_avi.rate}))
    {
    }

    std::optional<VideoInfo> video() override
    {
        // As FFmpeg's demuxer describes the stream: the frame rate is the
        // inverse of the time base, the length the header's frame count.
        VideoInfo info;
        info.frameRate = double(m_avi.rate) / double(m_avi.scale);
        info.length = double(m_avi.frames) * (double(m_avi.scale) / double(m_avi.rate));
        info.width = std::int32_t(m_avi.width);
        info.height = std::int32_t(m_avi.height);
        return info;
    }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        const std::int64_t stopPosition = std::isfinite(limits.stopTime)
            ? std::int64_t(std::llround(std::max(0.0, limits.stopTime) * 1e7)) : m_duration;
        m_player.play({stopPosition < m_duration, stopPosition, limits.maxFrames, sink.acceptsGrayFrames()}, sink);
    }

    // Every play reads its frames by their place in the file.
    bool replaysAsNew() const override { return true; }

private:
    struct Stream {
        Stream(std::uint32_t w, std::uint32_t h, std::int64_t s, std::int64_t r, std::int64_t n)
            : width(w), height(h), scale(s), rate(r), frames(n) {}
        std::uint32_t width;
        std::uint32_t height;
        std::int64_t scale;
        std::int64_t rate;
        std::int64_t frames;
    };
    Stream m_avi;
    AviChunkPlayer m_player;
    std::int64_t m_duration;   // 100 ns units
};

} // namespace

std::unique_ptr<FrameSource> OpenPlainAviSource(const std::string& path)
{
    InputFile file;
    try {
        // A named pipe opens at once and, holding no size, is no plain AVI.
        file = InputFile::open(path, InputFile::PipeOpen::NoWait);
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::optional<PlainAvi> avi = ReadPlainAvi(file);
    if (!avi)
        return nullptr;
    try {
        std::vector<AviChunkPlayer::Entry> entries;
        entries.reserve(avi->chunks.size());
        for (std::size_t k = 0; k < avi->chunks.size(); ++k)
            entries.push_back({avi->chunks[k], std::int64_t(k)});
        AviChunkPlayer player(std::move(file), std::move(entries), avi->width, avi->height, avi->gray,
                              {avi->scale, avi->rate}, 0, 0);
        return std::make_unique<PlainAviSource>(*avi, std::move(player));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
