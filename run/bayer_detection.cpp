// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/bayer_detection.h"

#include "run/calibrating_sink.h"

#include <charconv>

namespace {

// Hands the single plane of each frame to the detector; a 24-bit picture
// counts as one plane only when its three colours are the same byte (a raw
// or grey video decoded to 24 bits).
class DetectingSink final : public WholeFrameSink {
public:
    explicit DetectingSink(const VideoInfo& video) : m_video(video) {}

    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        const orbicrop::calibration::ConstSampleImage image = SamplesOf(frame, m_video.width, m_video.height, 0);
        if (image.topRow == nullptr)
            return 0;
        if (image.planes != 1 && !Grey(image)) {
            m_colour = true;
            return 1;
        }
        const std::ptrdiff_t step = std::ptrdiff_t(image.planes) * image.bytesPerSample;
        // The middle sample of a pixel of three is green either way round.
        const std::uint8_t* top = image.topRow + (image.planes == 3 ? image.bytesPerSample : 0);
        m_detector.add(top, image.stride, image.width, image.height, image.bytesPerSample, step);
        ++m_frames;
        return 0;
    }
    std::optional<BayerEvidence> evidence() const
    {
        if (m_colour || m_frames == 0)
            return std::nullopt;
        return m_detector.evidence();
    }

private:
    static bool Grey(const orbicrop::calibration::ConstSampleImage& image)
    {
        if (image.planes != 3 || image.bytesPerSample != 1)
            return false;
        for (std::int32_t y = 0; y < image.height; ++y) {
            const std::uint8_t* p = image.row(y);
            for (std::int32_t x = 0; x < image.width; ++x, p += 3)
                if (p[0] != p[1] || p[1] != p[2])
                    return false;
        }
        return true;
    }

    const VideoInfo& m_video;
    BayerDetector m_detector;
    std::int32_t m_frames = 0;
    bool m_colour = false;
};

std::string TwoDecimals(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2).ptr;
    return std::string(text, end);
}

}   // namespace

std::optional<BayerEvidence> DetectBayer(FrameSource& source, const VideoInfo& video, std::int32_t firstFrame)
{
    DetectingSink sink(video);
    PlayLimits limits;
    limits.firstFrame = firstFrame;
    limits.maxFrames = kBayerDetectFrames;
    source.play(limits, sink);
    return sink.evidence();
}

std::string BayerDetectionLine(const BayerEvidence& evidence)
{
    const std::string figures = " (green sites agree " + TwoDecimals(evidence.greenAgreement) + ", others "
        + TwoDecimals(evidence.otherAgreement) + ")";
    if (!evidence.pattern)
        return "No Bayer mosaic found in the data" + figures + ": processed as mono";
    return "Bayer " + std::string(NameOf(*evidence.pattern)) + " found in the data" + figures;
}
