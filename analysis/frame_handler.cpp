#include "analysis/frame_handler.h"

#include "analysis/crop.h"
#include "analysis/planet.h"
#include "analysis/rounding.h"
#include "avi/avi_writer.h"

#include <cstddef>
#include <vector>

namespace {

struct Measurement {
    bool found = false;
    double centerX = 0.0;
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    std::int32_t roundedX() const { return std::int32_t(RoundHalfEven(centerX)); }
    std::int32_t roundedY() const { return std::int32_t(RoundHalfEven(centerY)); }
};

Measurement Measure(const TProcessingState& state, const RunHost& host, const FrameView& frame, bool showEffect)
{
    Measurement m;
    m.found = FindPlanet(state, frame, m.centerX, m.centerY, state.thresholdPercent, m.radiusX,
                         m.radiusY, showEffect, host.debayerSafe(), host.inverse());
    return m;
}

// The window a test crops around the planet: about twice its radius, rounded
// to 16 pixels, plus one so that the centre pixel has equal margins.
std::int32_t TestWindowSize(double radius)
{
    return std::int32_t(RoundHalfEven(radius / 8.0) * 16 + 1);
}

} // namespace

std::int32_t CFakeCallback::BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength)
{
    if (!m_state.acceptFrames)
        return 0;
    // Never read past a buffer that is shorter than the announced frame.
    const std::size_t frameBytes = std::size_t(m_state.inputWidth) * std::size_t(m_state.inputHeight) * 3;
    if (buffer == nullptr || bufferLength < 0 || std::size_t(bufferLength) < frameBytes)
        return 0;
    handle(BgrFrame(m_state, buffer), sampleTime);
    return 0;
}

std::int32_t CFakeCallback::GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride)
{
    if (!m_state.acceptFrames || bottomRow == nullptr)
        return 0;
    const std::int32_t width = m_state.inputWidth;
    const std::int32_t height = m_state.inputHeight;
    if (m_state.testMode) {
        // A test may mark the frame for the preview, which needs separate
        // colour bytes: give it the 24-bit frame. Tests are two frames long.
        std::vector<std::uint8_t> bgr(std::size_t(width) * std::size_t(height) * 3);
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint8_t* src = bottomRow + std::ptrdiff_t(y) * stride;
            std::uint8_t* dst = bgr.data() + std::size_t(y) * std::size_t(width) * 3;
            for (std::int32_t x = 0; x < width; ++x)
                dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = src[x];
        }
        return BufferCB(sampleTime, bgr.data(), std::int32_t(bgr.size()));
    }
    // Processing never writes into the frame, so the source's buffer serves as it is.
    handle(GrayFrame(m_state, const_cast<std::uint8_t*>(bottomRow), stride), sampleTime);
    return 0;
}

void CFakeCallback::handle(const FrameView& frame, double sampleTime)
{
    // The picture and the grey plane of this frame. They live in the handler
    // so that their memory serves every frame of the run: a fresh block per
    // frame cost page faults for each one. Each frame sizes and fills them
    // anew, so nothing of a previous frame shows through.
    OutputBitmap& bitmap = m_bitmap;
    GrayPlane& grayPlane = m_grayPlane;
    grayPlane.clear();

    // Every frame is measured, also after the planet was lost once: a single
    // cloudy frame must not leave the rest of the batch without a centre.
    const Measurement m = Measure(m_state, m_host, frame, false);
    if (!m.found)
        m_state.cogValid = false;

    FrameRecord record;
    record.index = m_state.framesSeen;
    record.sampleTime = sampleTime;
    record.found = m.found;
    record.centerX = m.centerX;
    record.centerY = m.centerY;
    record.radiusX = m.radiusX;
    record.radiusY = m.radiusY;

    if (m_state.testMode) {
        if (m_state.cropValid) {
            m_state.cropValid = CropFrame(m_state, bitmap, frame, grayPlane, m.roundedX(), m.roundedY(),
                                          std::int32_t(RoundHalfEven(m.radiusX)),
                                          std::int32_t(RoundHalfEven(m.radiusY)),
                                          TestWindowSize(m.radiusX), TestWindowSize(m.radiusY),
                                          m_host.removeIncomplete(), false);
        }
        record.outcome = FrameRecord::Outcome::Analysed;
    } else if (!m.found) {
        record.outcome = FrameRecord::Outcome::NoPlanet;
    } else {
        const bool grayscale = m_host.grayscale();
        const bool accepted = CropFrame(m_state, bitmap, frame, grayPlane, m.roundedX(), m.roundedY(),
                                        m_state.cropWidth / 2, m_state.cropHeight / 2,
                                        m_state.cropWidth, m_state.cropHeight,
                                        m_host.removeIncomplete(), grayscale);
        if (!accepted) {
            record.outcome = FrameRecord::Outcome::Incomplete;
        } else if (m_state.outputFailed || m_state.aviWriter == nullptr) {
            record.outcome = FrameRecord::Outcome::NotWritten;
        } else {
            try {
                if (grayscale)
                    m_state.aviWriter->AddGrayFrame(bitmap, grayPlane.data(), m_state.framesWritten);
                else
                    m_state.aviWriter->AddFrame(bitmap, m_state.framesWritten);
                ++m_state.framesWritten;
                record.outcome = FrameRecord::Outcome::Written;
            } catch (const std::exception& e) {
                // The writer keeps the frames it already has; stop feeding it
                // for this file and say so once.
                m_state.outputFailed = true;
                record.outcome = FrameRecord::Outcome::NotWritten;
                m_host.showMessage(e.what());
            }
        }
    }

    ++m_state.framesSeen;
    m_host.frameAnalysed(record);

    if (m_state.testMode && m_state.framesSeen == m_state.frameLimit) {
        if (m_state.cogValid && m_state.cropValid) {
            // Measured again only for the show-effect marking; blocks are
            // valued before they are marked, so the centre is unchanged.
            Measure(m_state, m_host, frame, m_host.showEffect());
            CropFrame(m_state, bitmap, frame, grayPlane, m.roundedX(), m.roundedY(),
                      m_state.cropWidth / 2, m_state.cropHeight / 2,
                      m_state.cropWidth, m_state.cropHeight, false, false);
            m_host.showPreview(bitmap);
        } else {
            m_host.showWarning(m_state.cogValid ? kWarningCropRefused : kWarningNoPlanet);
        }
    }

    if (!m_state.testMode)
        m_host.setProgress(m_state.framesSeen);
    m_host.processEvents();
}
