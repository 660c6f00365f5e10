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
    // avi's chunk list has gone into player; the rest describes the stream.
    PlainAviSource(const PlainAvi& avi, AviChunkPlayer player)
        : m_width(std::int32_t(avi.width)), m_height(std::int32_t(avi.height)), m_timeBase{avi.scale, avi.rate},
          m_frames(std::int64_t(player.entries().size())), m_player(std::move(player)),
          m_duration(HundredNanoseconds(m_frames, m_timeBase))
    {}

    std::optional<VideoInfo> video() override
    {
        // As FFmpeg's demuxer describes the stream: the frame rate is the
        // inverse of the time base, the length the header's frame count.
        VideoInfo info;
        info.frameRate = double(m_timeBase.den) / double(m_timeBase.num);
        info.length = double(m_frames) * (double(m_timeBase.num) / double(m_timeBase.den));
        info.width = m_width;
        info.height = m_height;
        return info;
    }

    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        m_player.play(InStreamTerms(limits, m_duration, sink.acceptsGrayFrames()), sink);
    }

    // Every play reads its frames by their place in the file.
    bool replaysAsNew() const override { return true; }

private:
    std::int32_t m_width;
    std::int32_t m_height;
    AviTimeBase m_timeBase;   // scale / rate seconds a frame
    std::int64_t m_frames;
    AviChunkPlayer m_player;
    std::int64_t m_duration;   // 100 ns units
};

}   // namespace

std::unique_ptr<FrameSource> OpenPlainAviSource(const std::string& path)
{
    InputFile file;
    try {
        // A named pipe opens at once and, holding no size, is no plain AVI.
        file = InputFile::open(path);
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
