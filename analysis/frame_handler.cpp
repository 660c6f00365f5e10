// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_handler.h"

#include "analysis/crop.h"
#include "analysis/planet.h"
#include "analysis/rounding.h"

#include <cstddef>
#include <exception>

namespace {

std::int32_t Rounded(double value) { return std::int32_t(RoundHalfEven(value)); }

// The window a test crops around the planet: about twice its radius, rounded
// to 16 pixels, plus one so that the centre pixel has equal margins.
std::int32_t TestWindowSize(double radius)
{
    return std::int32_t(RoundHalfEven(radius / 8.0) * 16 + 1);
}

// The output-sized window centred on the planet.
CropWindow OutputWindow(const TProcessingState& state, const CFakeCallback::Measurement& m, bool ignoreIncomplete,
                        bool makeGrayPlane)
{
    return {Rounded(m.centerX), Rounded(m.centerY), state.cropWidth / 2, state.cropHeight / 2,
            state.cropWidth, state.cropHeight, ignoreIncomplete, makeGrayPlane};
}

// The centre a crop takes in surface mode, even when debayerSafe asks for it.
double SurfaceCoordinate(double value, bool debayerSafe)
{
    if (!debayerSafe)
        return value;
    const std::int64_t r = RoundHalfEven(value);
    return (r % 2 != 0) ? double(r + 1) : value;
}

} // namespace

void CFakeCallback::setPass(Pass pass, FrameRanking* ranking)
{
    m_pass = pass;
    m_ranking = ranking;
    m_lastShift = {};
    if (m_aligner != nullptr)
        m_aligner->reset();
}

std::int32_t CFakeCallback::BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength)
{
    if (!m_state.acceptFrames)
        return 0;
    // Never read past a buffer that is shorter than the announced frame.
    const std::size_t frameBytes = std::size_t(m_state.inputWidth) * std::size_t(m_state.inputHeight) * 3;
    if (buffer == nullptr || bufferLength < 0 || std::size_t(bufferLength) < frameBytes)
        return 0;
    const MarkableFrame markable = MarkableBgrFrame(m_state, buffer);
    handle(markable.view(), &markable, sampleTime);
    return 0;
}

std::int32_t CFakeCallback::GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride)
{
    if (!m_state.acceptFrames || bottomRow == nullptr)
        return 0;
    if (!m_state.testMode) {
        // Processing never writes into the frame, so the source's buffer serves as it is.
        handle(GrayFrame(m_state, bottomRow, stride), nullptr, sampleTime);
        return 0;
    }
    // A test may mark the frame for the preview, which needs separate colour
    // bytes: give it the 24-bit frame. Tests are two frames long.
    const std::int32_t width = m_state.inputWidth;
    const std::int32_t height = m_state.inputHeight;
    m_expanded.resize(std::size_t(width) * std::size_t(height) * 3);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* src = bottomRow + std::ptrdiff_t(y) * stride;
        std::uint8_t* dst = m_expanded.data() + std::size_t(y) * std::size_t(width) * 3;
        for (std::int32_t x = 0; x < width; ++x)
            dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = src[x];
    }
    return BufferCB(sampleTime, m_expanded.data(), std::int32_t(m_expanded.size()));
}

void CFakeCallback::handle(const FrameView& frame, const MarkableFrame* markable, double sampleTime)
{
    m_grayPlane.clear();

    // Every frame is measured, also after the planet was lost once: a single
    // cloudy frame must not leave the rest of the batch without a centre.
    Measurement m = measure(frame);
    if (m_state.centring.surface && m_aligner != nullptr)
        alignOnContent(frame, m);
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
    // The report's picture rows run downwards.
    record.shiftX = m.shift.x;
    record.shiftY = 0.0 - m.shift.y;   // no "-0.000" for a still frame
    if (m_state.testMode) {
        cropForTest(frame, m);
        record.outcome = FrameRecord::Outcome::Analysed;
    } else {
        record.outcome = m.found ? cropAndWrite(frame, m, record) : FrameRecord::Outcome::NoPlanet;
    }

    ++m_state.framesSeen;
    // The measuring pass is not reported: each frame is reported once, by
    // the pass that decides what becomes of it.
    if (m_pass != Pass::Measure)
        m_report.frameAnalysed(record);

    if (m_state.testMode && m_state.framesSeen == m_state.frameLimit && markable != nullptr)
        showTestResult(*markable, m);
    if (!m_state.testMode)
        m_report.setProgress(m_state.framesSeen);
    m_report.processEvents();
}

CFakeCallback::Measurement CFakeCallback::measure(const FrameView& frame)
{
    Measurement m;
    if (!m_state.centring.largestObject) {
        m.found = FindPlanet(m_state, frame, m.centerX, m.centerY, m_state.thresholdPercent, m.radiusX, m.radiusY,
                             m_options.debayerSafe(), m_options.inverse());
    } else {
        const PlanetFix fix = SearchPlanet(m_state, frame, nullptr,
                                           {m_state.thresholdPercent, m_options.debayerSafe(), m_options.inverse(),
                                            true});
        m = {fix.found, fix.centerX, fix.centerY, fix.radiusX, fix.radiusY, {}};
    }
    // Only a test looks. With inverse the planet blocks are dark: reaching
    // across the frame they are the sky around a bright object, which
    // content alignment would not mend.
    if (m_state.testMode && !m_state.centring.surface && !m_state.objectFillsFrame && !m_options.inverse())
        m_state.objectFillsFrame = PlanetFillsFrame(m_state, frame, m_state.thresholdPercent);
    return m;
}

// Surface mode: the crop follows the content from the frame's centre on; the
// planet search still gives the radii a test sizes its window by. A frame the
// aligner cannot match keeps the last shift, so it is cropped where its
// neighbour was.
void CFakeCallback::alignOnContent(const FrameView& frame, Measurement& m)
{
    if (const auto shift = m_aligner->shiftOf(frame))
        m_lastShift = *shift;
    m.shift = m_lastShift;
    m.found = true;
    const bool even = m_options.debayerSafe();
    m.centerX = SurfaceCoordinate(double(frame.width / 2) + m_lastShift.x, even);
    m.centerY = SurfaceCoordinate(double(frame.height / 2) + m_lastShift.y, even);
}

// A test crops a window sized from the planet itself: one that reaches the
// border with removeIncomplete set fails the test.
void CFakeCallback::cropForTest(const FrameView& frame, const Measurement& m)
{
    if (!m_state.cropValid)
        return;
    const CropWindow window{Rounded(m.centerX), Rounded(m.centerY), Rounded(m.radiusX), Rounded(m.radiusY),
                            TestWindowSize(m.radiusX), TestWindowSize(m.radiusY),
                            m_options.removeIncomplete(), false};
    m_state.cropValid = CropFrame(m_state, m_bitmap, frame, m_grayPlane, window);
}

FrameRecord::Outcome CFakeCallback::cropAndWrite(const FrameView& frame, const Measurement& m,
                                                 FrameRecord& record)
{
    const CropWindow window = OutputWindow(m_state, m, m_options.removeIncomplete(), m_state.outputGrayscale);
    if (!CropFrame(m_state, m_bitmap, frame, m_grayPlane, window))
        return FrameRecord::Outcome::Incomplete;
    if (m_ranking == nullptr || m_pass == Pass::Single)
        return write();
    if (m_pass == Pass::Measure) {
        m_ranking->add(record.index, m_quality.score(m_bitmap));
        return FrameRecord::Outcome::NotWritten;
    }
    record.quality = m_ranking->normalised(record.index);
    if (m_state.centring.bestFrame && record.index == m_ranking->bestIndex())
        m_report.bestFrame(m_bitmap);
    if (!m_ranking->kept(record.index))
        return FrameRecord::Outcome::NotKept;
    return write();
}

// The output keeps the frames it already has when it refuses one; the rest of
// the file is not fed to it, and the user is told once.
FrameRecord::Outcome CFakeCallback::write()
{
    if (m_state.outputFailed || m_state.aviWriter == nullptr)
        return FrameRecord::Outcome::NotWritten;
    try {
        if (m_state.outputGrayscale)
            m_state.aviWriter->addGrayFrame(m_bitmap, m_grayPlane, m_state.framesWritten);
        else
            m_state.aviWriter->addColorFrame(m_bitmap, m_state.framesWritten);
        ++m_state.framesWritten;
        return FrameRecord::Outcome::Written;
    } catch (const std::exception& e) {
        m_state.outputFailed = true;
        m_report.showMessage(e.what());
        return FrameRecord::Outcome::NotWritten;
    }
}

// The preview of the last test frame at the output size, or why there is none.
void CFakeCallback::showTestResult(const MarkableFrame& frame, const Measurement& m)
{
    if (!(m_state.cogValid && m_state.cropValid)) {
        m_report.showWarning(m_state.cogValid ? kWarningCropRefused : kWarningNoPlanet);
        return;
    }
    // Measured again only for the show-effect marking; blocks are valued
    // before they are marked, so the centre is unchanged.
    if (!m_state.centring.largestObject) {
        double cx = 0.0, cy = 0.0, rx = 0.0, ry = 0.0;
        FindPlanet(m_state, frame, cx, cy, m_state.thresholdPercent, rx, ry, m_options.showEffect(),
                   m_options.debayerSafe(), m_options.inverse());
    } else if (m_options.showEffect()) {
        SearchPlanet(m_state, frame.view(), &frame,
                     {m_state.thresholdPercent, m_options.debayerSafe(), m_options.inverse(), true});
    }
    CropFrame(m_state, m_bitmap, frame.view(), m_grayPlane, OutputWindow(m_state, m, false, false));
    m_report.showPreview(m_bitmap);
}
