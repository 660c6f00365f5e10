// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_measurer.h"
#include "analysis/frame_sink.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// Has its frames measured ahead by the source and checks, in each frame's own
// turn, that the measurement handed with it is the one of that very frame.
class MeasuringSink : public FrameSink {
public:
    MeasuringSink(std::int32_t width, std::int32_t height, bool gray) : m_width(width), m_height(height), m_gray(gray)
    {}

    SearchChoices choices{{50.0, false, false, false}, 4, {}};
    std::int32_t measuredAhead = 0;   // frames that came with a measurement
    std::int32_t wrong = 0;           // ... that was not their own
    std::vector<double> centres;      // x of each frame, as measured in its turn

    std::optional<FrameMeasurer> measurerAhead() override { return FrameMeasurer(choices); }
    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        m_pending = frame.measured;
        return FrameSink::FrameCB(frame);
    }
    bool acceptsGrayFrames() const override { return m_gray; }
    std::int32_t BufferCB(double, std::uint8_t* buffer, std::int32_t) override
    {
        return check({buffer, std::ptrdiff_t(m_width) * 3, m_width, m_height, 3});
    }
    std::int32_t GrayBufferCB(double, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        return check({bottomRow, stride, m_width, m_height, 1});
    }

private:
    std::int32_t check(const FrameView& frame)
    {
        const PlanetFix now = MeasurePlanet(frame, choices);
        centres.push_back(now.centerX);
        if (const AheadMeasurement* ahead = std::exchange(m_pending, nullptr)) {
            ++measuredAhead;
            const PlanetFix& fix = ahead->fix;
            if (!ahead->valid || fix.found != now.found || fix.centerX != now.centerX || fix.centerY != now.centerY
                || fix.radiusX != now.radiusX || fix.radiusY != now.radiusY)
                ++wrong;
        }
        return 0;
    }

    std::int32_t m_width;
    std::int32_t m_height;
    bool m_gray;
    const AheadMeasurement* m_pending = nullptr;
};
