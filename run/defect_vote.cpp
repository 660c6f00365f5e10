// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/defect_vote.h"

#include "run/calibrating_sink.h"

#include <optional>

using orbicrop::calibration::ConstSampleImage;
using orbicrop::calibration::DefectVoter;

namespace {

class VotingSink final : public WholeFrameSink {
public:
    VotingSink(const VideoInfo& video, std::int32_t mosaic) : m_video(video), m_mosaic(mosaic) {}

    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        const ConstSampleImage image = SamplesOf(frame, m_video.width, m_video.height, m_mosaic);
        if (!m_voter)
            m_voter.emplace(image.width, image.height, image.planes, image.mosaic);
        m_voter->add(image);
        return 0;
    }
    orbicrop::calibration::DefectMap defects() const
    {
        return m_voter ? m_voter->defects() : orbicrop::calibration::DefectMap{};
    }

private:
    const VideoInfo& m_video;
    std::int32_t m_mosaic;
    std::optional<DefectVoter> m_voter;
};

}   // namespace

orbicrop::calibration::DefectMap VoteDefects(FrameSource& source, const VideoInfo& video, std::int32_t mosaic,
                                             std::int32_t firstFrame)
{
    VotingSink sink(video, mosaic);
    PlayLimits limits;
    limits.firstFrame = firstFrame;
    limits.maxFrames = kDefectVoteFrames;
    source.play(limits, sink);
    return sink.defects();
}
