// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/frame_handler.h"

#include "analysis/crop.h"
#include "analysis/planet.h"
#include "analysis/rounding.h"
#include "analysis/sample_crop.h"
#include "analysis/sample_orientation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <exception>
#include <utility>

namespace {

std::int32_t Rounded(double value)
{
    return std::int32_t(RoundHalfEven(value));
}

// The window a test crops around the planet: about twice its radius, rounded
// to 16 pixels, plus one so that the centre pixel has equal margins.
std::int32_t TestWindowSize(double radius)
{
    return std::int32_t(RoundHalfEven(radius / 8.0) * 16 + 1);
}

// The square the dispersion is measured on: a power of two about twice the
// disc's diameter, so that the whole limb lies well inside the meter's
// tapered window, within the frame and 512 pixels; 0 when the frame has no
// room for 32.
std::int32_t DiscSquare(double radius, std::int32_t width, std::int32_t height)
{
    const std::int32_t room = std::min({width, height, 512});
    std::int32_t side = 32;
    while (side * 2 <= room && double(side) < 4.0 * radius)
        side *= 2;
    return side <= room ? side : 0;
}

// The output-sized window centred on the planet.
CropWindow OutputWindow(const TProcessingState& state, const CFakeCallback::Measurement& m, bool ignoreIncomplete,
                        bool makeGrayPlane)
{
    return {Rounded(m.centerX), Rounded(m.centerY), state.cropWidth / 2, state.cropHeight / 2,
            state.cropWidth,    state.cropHeight,   ignoreIncomplete,    makeGrayPlane};
}

// The share of the object's pixels, in percent, at the top value of what the
// detection reads: green in the 8-bit frame (255), or the source's own
// samples at the top of their depth when it has them. The object is the
// ellipse of its radii, which run to the outermost block centres, widened by
// two pixels to the blocks' edges.
double SaturatedPercent(const FrameView& frame, const NativeFrame* native, const PlanetFix& m)
{
    const double rx = m.radiusX + 2.0, ry = m.radiusY + 2.0;
    const std::int32_t x0 = std::max(0, std::int32_t(std::floor(m.centerX - rx)));
    const std::int32_t x1 = std::min(frame.width - 1, std::int32_t(std::ceil(m.centerX + rx)));
    const std::int32_t y0 = std::max(0, std::int32_t(std::floor(m.centerY - ry)));
    const std::int32_t y1 = std::min(frame.height - 1, std::int32_t(std::ceil(m.centerY + ry)));
    const bool samples = native != nullptr && native->topRow != nullptr && native->width == frame.width
        && native->height == frame.height;
    const std::uint32_t top = samples ? (1U << native->depth) - 1U : 255U;
    std::int64_t inside = 0, saturated = 0;
    for (std::int32_t y = y0; y <= y1; ++y) {
        const double dy = (double(y) - m.centerY) / ry;
        const std::uint8_t* row = frame.row(y);
        // The native frame's rows run top-down.
        const std::uint8_t* nativeRow =
            samples ? native->topRow + std::ptrdiff_t(frame.height - 1 - y) * native->stride : nullptr;
        for (std::int32_t x = x0; x <= x1; ++x) {
            const double dx = (double(x) - m.centerX) / rx;
            if (dx * dx + dy * dy > 1.0)
                continue;
            ++inside;
            std::uint32_t value = 0;
            if (samples) {
                // Green is the middle sample of RGB and BGR alike.
                const std::ptrdiff_t at =
                    (std::ptrdiff_t(x) * native->planes + (native->planes == 3 ? 1 : 0)) * native->bytesPerSample;
                value = native->bytesPerSample == 2 ? std::uint32_t(nativeRow[at] | (nativeRow[at + 1] << 8))
                                                    : nativeRow[at];
            } else {
                value = row[std::ptrdiff_t(x) * frame.bytesPerPixel + frame.greenOffset()];
            }
            saturated += value >= top ? 1 : 0;
        }
    }
    return inside > 0 ? 100.0 * double(saturated) / double(inside) : 0.0;
}

std::optional<std::int64_t> FrameTime(const TProcessingState& state, const NativeFrame* native, double sampleTime)
{
    return CaptureTimeOf(state.startUtcTicks, native, sampleTime);
}

}   // namespace

void CFakeCallback::setPass(Pass pass, FrameRanking* ranking)
{
    m_pass = pass;
    m_ranking = ranking;
    m_lastShift = {};
    if (m_aligner != nullptr)
        m_aligner->reset();
}

std::int32_t CFakeCallback::FrameCB(const SourceFrame& frame)
{
    if (!m_state.acceptFrames)
        return status();
    // A frame outside the time range is passed over as if the file did not
    // hold it: no number, no record, no place in a ranking.
    if (m_state.timeRange) {
        const auto time = FrameTime(m_state, frame.native, frame.sampleTime);
        if (!time || !m_state.timeRange->contains(*time)) {
            ++m_state.framesOutsideRange;
            return status();
        }
    }
    if (frame.grayBottomRow != nullptr && frame.painter != nullptr)
        return handlePainted(frame);
    if (frame.grayBottomRow != nullptr)
        return handleGray(frame);
    return handleBgr(frame, frame.buffer, frame.bufferLength);
}

// The live view, surface alignment and debayering read beyond the crop
// window (a test also looks at how the planet fills the frame).
bool CFakeCallback::needsWholePicture() const
{
    return (m_state.centring.surface && m_aligner != nullptr) || debayers()
        || (m_pass != Pass::Measure && m_report.wantsLiveFrame());
}

std::int32_t CFakeCallback::handlePainted(const SourceFrame& frame)
{
    if (m_state.testMode || needsWholePicture()) {
        SourceFrame whole;
        whole.sampleTime = frame.sampleTime;
        whole.native = frame.native;
        whole.measured = frame.measured;
        whole.buffer = frame.painter->paint(0, 0, m_state.inputWidth, m_state.inputHeight);
        whole.bufferLength = std::int32_t(std::size_t(m_state.inputWidth) * std::size_t(m_state.inputHeight) * 3);
        return handleBgr(whole, whole.buffer, whole.bufferLength);
    }
    // Green is what the measurement reads, byte for byte as in the picture.
    m_painter = frame.painter;
    try {
        handle(GrayFrame(m_state, frame.grayBottomRow, frame.grayStride), nullptr, frame.sampleTime, frame.native,
               frame.measured);
    } catch (...) {
        m_painter = nullptr;
        throw;
    }
    m_painter = nullptr;
    return status();
}

FrameView CFakeCallback::pictureFor(const FrameView& frame, const CropWindow& window) const
{
    if (m_painter == nullptr)
        return frame;
    const std::int32_t left = window.centerX - window.width / 2;
    const std::int32_t bottom = window.centerY - window.height / 2;
    return BgrFrame(m_state, m_painter->paint(left, bottom, window.width, window.height));
}

std::int32_t CFakeCallback::handleBgr(const SourceFrame& frame, std::uint8_t* buffer, std::int32_t bufferLength)
{
    // Never read past a buffer that is shorter than the announced frame.
    const std::size_t frameBytes = std::size_t(m_state.inputWidth) * std::size_t(m_state.inputHeight) * 3;
    if (buffer == nullptr || bufferLength < 0 || std::size_t(bufferLength) < frameBytes)
        return 0;
    const MarkableFrame markable = MarkableBgrFrame(m_state, buffer);
    handle(markable.view(), &markable, frame.sampleTime, frame.native, frame.measured);
    return status();
}

std::int32_t CFakeCallback::handleGray(const SourceFrame& frame)
{
    // Only the last frame of a test is marked for the preview, which needs
    // separate colour bytes: that one is expanded to 24 bits. Every other
    // frame is measured and cropped as it is, with the same results.
    const bool marked = m_state.testMode && m_state.framesSeen + 1 >= m_state.frameLimit;
    if (!marked) {
        // A test dates its frames by the stream, whatever the source said.
        handle(GrayFrame(m_state, frame.grayBottomRow, frame.grayStride), nullptr, frame.sampleTime,
               m_state.testMode ? nullptr : frame.native, frame.measured);
        return status();
    }
    const std::int32_t width = m_state.inputWidth;
    const std::int32_t height = m_state.inputHeight;
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 3;
    if (m_expandedBytes < bytes) {
        // Written whole below, so not zeroed first.
        m_expanded = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        m_expandedBytes = bytes;
    }
    for (std::int32_t y = 0; y < height; ++y)
        ExpandGray(m_expanded.get() + std::size_t(y) * std::size_t(width) * 3,
                   frame.grayBottomRow + std::ptrdiff_t(y) * frame.grayStride, width);
    // The expanded test frame is measured in its turn and dated by the stream.
    SourceFrame expanded;
    expanded.sampleTime = frame.sampleTime;
    return handleBgr(expanded, m_expanded.get(), std::int32_t(bytes));
}

std::int32_t CFakeCallback::status() const
{
    // A test within a time range counts its own frames: the source cannot
    // tell which of its frames the range keeps.
    const bool testDone = m_state.testMode && m_state.timeRange && m_state.framesSeen >= m_state.frameLimit;
    return m_state.stopRequested || testDone ? 1 : 0;
}

void CFakeCallback::handle(const FrameView& frame, const MarkableFrame* markable, double sampleTime,
                           const NativeFrame* native, const AheadMeasurement* ahead)
{
    m_grayPlane.clear();
    m_debayeredBitmap = false;
    m_alignedBitmap = false;

    // Every frame is measured, also after the planet was lost once: a single
    // cloudy frame must not leave the rest of the batch without a centre.
    const bool evenCentre = m_options.debayerSafe() || keepsMosaic();
    Measurement m = measure(frame, evenCentre, ahead);
    if (m_state.centring.surface && m_aligner != nullptr)
        alignOnContent(frame, m, evenCentre);
    if (!m.found)
        m_state.cogValid = false;
    if (m.limbMissing && m_state.testMode)
        m_state.limbMissing = true;
    noteFirstFrame(m);
    noteDispersion(frame, m);

    FrameRecord record;
    record.index = m_state.firstFrame + m_state.framesSeen;
    record.sampleTime = sampleTime;
    record.found = m.found;
    record.centerX = m.centerX;
    record.centerY = m.centerY;
    record.radiusX = m.radiusX;
    record.radiusY = m.radiusY;
    record.limbRadius = m.limbRadius;
    record.utcTicks = FrameTime(m_state, native, sampleTime);
    // The report's picture rows run downwards.
    record.shiftX = m.shift.x;
    record.shiftY = 0.0 - m.shift.y;   // no "-0.000" for a still frame
    if (m_state.testMode) {
        cropForTest(frame, m);
        record.outcome = FrameRecord::Outcome::Analysed;
    } else if (!m.found) {
        record.outcome = m.limbMissing ? FrameRecord::Outcome::NoLimb : FrameRecord::Outcome::NoPlanet;
    } else if (const auto reason = rejection(frame, native, m)) {
        record.outcome = *reason;
    } else {
        record.outcome = cropAndWrite(frame, m, native, record);
    }

    ++m_state.framesSeen;
    // The measuring pass is not reported: each frame is reported once, by
    // the pass that decides what becomes of it.
    if (m_pass != Pass::Measure)
        m_report.frameAnalysed(record);

    if (m_state.testMode && m_state.framesSeen == m_state.frameLimit && markable != nullptr)
        showTestResult(*markable, m);
    else if (!m_state.testMode && m_pass != Pass::Measure && m_report.wantsLiveFrame())
        showLiveFrame(frame, m, record);
    if (!m_state.testMode)
        m_report.setProgress(m_state.framesSeen);
    m_report.processEvents();
}

std::optional<FrameMeasurer> CFakeCallback::measurerAhead()
{
    if (m_state.testMode || !m_state.acceptFrames)
        return std::nullopt;
    // As handle() decides per frame; a later change of the options only
    // makes the frames measured before it be measured again.
    return FrameMeasurer(choices(m_options.debayerSafe() || keepsMosaic()));
}

bool CFakeCallback::readsStoredSamples() const
{
    return m_state.centring.reject.maxSaturated.has_value()
        || (m_state.aviWriter != nullptr && m_state.aviWriter->takesSamples());
}

// A mosaic written as it is names its arrangement once for the whole file
// (or, in an AVI, not at all: the user names it), so every crop of it must
// start on the same site of the 2 x 2 cell, for every output. Even centres
// do it: the window's corner lies half its size from the centre, the same
// for every frame (even offsets for the sizes of the size controls).
bool CFakeCallback::keepsMosaic() const
{
    return !m_state.testMode && m_state.mosaic != 0 && !debayers();
}

// A file's output is colour when it is debayered, which the batch sees to;
// were it greyscale all the same, the mosaic is written as it is, in phase.
bool CFakeCallback::debayers() const
{
    return m_state.colour.debayer && BayerPatternOf(m_state.mosaic).has_value()
        && (m_state.testMode || !m_state.outputGrayscale);
}

SearchChoices CFakeCallback::choices(bool evenCentre) const
{
    // A limb is the edge of a bright disc on a dark sky: not what inverse
    // looks for, and surface mode centres on the content instead.
    const bool limb = m_state.centring.limb && !m_state.centring.surface && !m_options.inverse();
    return {{m_state.thresholdPercent, evenCentre, m_options.inverse(), m_state.centring.largestObject},
            m_state.blockSize,
            {limb, limb ? m_state.limbRadius : std::nullopt}};
}

// The object's size in the run's first frames: the test's and the batch's
// output sizes come from it, and the user hears once per file when the
// output is smaller. Not for objects that fill the frame (surface mode,
// inverse on a disc, a whole-frame output) or a measuring pass's second look.
void CFakeCallback::noteFirstFrame(const Measurement& m)
{
    if (m_state.framesSeen >= kFirstFrames || !m.found || m.fillsFrame || m_state.centring.surface
        || m_options.inverse() || m_pass == Pass::Write)
        return;
    FirstFrames& first = m_state.firstFrames;
    first.add(m, m_state.blockSize);
    if (m_state.testMode || m_state.fullFrame || first.cutTold)
        return;
    if (const auto warning = CutWarning(first, m_state.cropWidth, m_state.cropHeight)) {
        first.cutTold = true;
        m_report.showCutWarning(*warning);
    }
}

// Red and blue against green in the first frames of a test (a file's probe
// among them), on a colour square around the disc; a grey frame that is no
// mosaic to debayer has no colours to measure.
void CFakeCallback::noteDispersion(const FrameView& frame, const Measurement& m)
{
    if (m_dispersionMeter == nullptr || !m_state.testMode || m_state.colour.alignRgb == AlignRgb::Off
        || m_state.framesSeen >= kFirstFrames || !m.found || (frame.gray() && !debayers()))
        return;
    const std::int32_t side = DiscSquare(std::max(m.radiusX, m.radiusY), frame.width, frame.height);
    if (side == 0)
        return;
    const CropWindow window{std::clamp(Rounded(m.centerX), side / 2, frame.width - side / 2),
                            std::clamp(Rounded(m.centerY), side / 2, frame.height - side / 2),
                            side / 2,
                            side / 2,
                            side,
                            side,
                            false,
                            false};
    if (debayers()) {
        const auto [left, top] = TopLeft(window, frame.height);
        m_debayer.toBitmap(frame, left, top, side, side, *BayerPatternOf(m_state.mosaic), m_state.colour.method,
                           m_disc);
    } else if (!CropFrame(m_state, m_disc, frame, m_grayPlane, window)) {
        return;
    }
    if (const auto d = m_dispersionMeter->measure(m_disc))
        m_state.firstFrames.dispersions.push_back(*d);
}

CFakeCallback::Measurement CFakeCallback::measure(const FrameView& frame, bool evenCentre,
                                                  const AheadMeasurement* ahead)
{
    const SearchChoices now = choices(evenCentre);
    const PlanetFix fix =
        ahead != nullptr && ahead->valid && ahead->choices == now ? ahead->fix : MeasurePlanet(frame, now);
    Measurement m{fix, {}};
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
void CFakeCallback::alignOnContent(const FrameView& frame, Measurement& m, bool evenCentre)
{
    if (const auto shift = m_aligner->shiftOf(frame))
        m_lastShift = *shift;
    m.shift = m_lastShift;
    m.found = true;
    // Even when a debayer-safe crop or a mosaic written as it is asks for it.
    m.centerX = double(frame.width / 2) + m_lastShift.x;
    m.centerY = double(frame.height / 2) + m_lastShift.y;
    if (evenCentre) {
        m.centerX = MakeEven(m.centerX);
        m.centerY = MakeEven(m.centerY);
    }
}

// A test crops a window sized from the planet itself: one that reaches the
// border with removeIncomplete set fails the test.
void CFakeCallback::cropForTest(const FrameView& frame, const Measurement& m)
{
    if (!m_state.cropValid)
        return;
    const CropWindow window{
        Rounded(m.centerX),        Rounded(m.centerY),        Rounded(m.radiusX),           Rounded(m.radiusY),
        TestWindowSize(m.radiusX), TestWindowSize(m.radiusY), m_options.removeIncomplete(), false};
    m_state.cropValid = CropFrame(m_state, m_bitmap, frame, m_grayPlane, window);
}

FrameRecord::Outcome CFakeCallback::cropAndWrite(const FrameView& frame, const Measurement& m,
                                                 const NativeFrame* native, FrameRecord& record)
{
    const CropWindow window = OutputWindow(m_state, m, m_options.removeIncomplete(), m_state.outputGrayscale);
    const FrameView picture = pictureFor(frame, window);
    if (!CropFrame(m_state, m_bitmap, picture, m_grayPlane, window))
        return FrameRecord::Outcome::Incomplete;
    if (keepsMosaic()) {
        const auto [left, top] = TopLeft(window, frame.height);
        record.mosaic =
            OrientedMosaic(MosaicAt(m_state.mosaic, left, top), window.width, window.height, m_state.orientation);
    }
    if (m_ranking == nullptr || m_pass == Pass::Single)
        return write(picture, native, window, record);
    // Frames are scored on their raw samples, so debayering changes no
    // ranking.
    if (m_pass == Pass::Measure) {
        m_ranking->add(m_state.framesSeen, m_quality.score(m_bitmap, ObjectIn(window, m, frame)), m.brightness);
        return FrameRecord::Outcome::NotWritten;
    }
    if (m_ranking->dim(m_state.framesSeen))
        return FrameRecord::Outcome::Dim;
    record.quality = m_ranking->normalised(m_state.framesSeen);
    if (m_state.centring.bestFrame && m_state.framesSeen == m_ranking->bestIndex()) {
        finishBitmap(picture, window);
        m_report.bestFrame(orientedBitmap());
    }
    if (!m_ranking->kept(m_state.framesSeen))
        return FrameRecord::Outcome::NotKept;
    // A kept frame carries its own capture time, as every played frame does.
    return write(picture, native, window, record);
}

// The first reason to drop a frame whose planet was found, in the order the
// reasons are tried; nothing when it may be written. Dim frames are told by
// the ranking, which knows the file's median. A cut means nothing in surface
// mode, where the object fills the frame by design.
std::optional<FrameRecord::Outcome> CFakeCallback::rejection(const FrameView& frame, const NativeFrame* native,
                                                             const Measurement& m) const
{
    const RejectOptions& reject = m_state.centring.reject;
    if (reject.cut && m.touchesBorder && !m_state.centring.surface)
        return FrameRecord::Outcome::Cut;
    if (reject.minSize > 0 && 2.0 * std::max(m.radiusX, m.radiusY) < double(reject.minSize))
        return FrameRecord::Outcome::Small;
    if (reject.maxSaturated && SaturatedPercent(frame, native, m) > *reject.maxSaturated)
        return FrameRecord::Outcome::Saturated;
    return std::nullopt;
}

// Where the object lies in the crop of window, and where the frame ends in it.
ObjectInCrop CFakeCallback::ObjectIn(const CropWindow& window, const Measurement& m, const FrameView& frame)
{
    const std::int64_t left = std::int64_t(window.centerX) - window.width / 2;
    const std::int64_t bottom = std::int64_t(window.centerY) - window.height / 2;
    ObjectInCrop object;
    object.centerX = m.centerX - double(left);
    object.centerY = m.centerY - double(bottom);
    object.radiusX = m.radiusX;
    object.radiusY = m.radiusY;
    object.frameLeft = std::int32_t(std::clamp<std::int64_t>(-left, 0, window.width));
    object.frameRight = std::int32_t(std::clamp<std::int64_t>(frame.width - left, 0, window.width));
    object.frameBottom = std::int32_t(std::clamp<std::int64_t>(-bottom, 0, window.height));
    object.frameTop = std::int32_t(std::clamp<std::int64_t>(frame.height - bottom, 0, window.height));
    return object;
}

// The window's top-left pixel, rows counted from the top: the crop's rows
// count from the bottom, so its top row is frame row height - bottom - cropHeight.
std::pair<std::int64_t, std::int64_t> CFakeCallback::TopLeft(const CropWindow& window, std::int32_t frameHeight)
{
    const std::int64_t left = std::int64_t(window.centerX) - window.width / 2;
    const std::int64_t bottom = std::int64_t(window.centerY) - window.height / 2;
    return {left, std::int64_t(frameHeight) - bottom - window.height};
}

// Replaces the raw crop in the bitmap by its colours, when the file is debayered.
void CFakeCallback::debayerBitmap(const FrameView& frame, const CropWindow& window)
{
    if (!debayers() || m_debayeredBitmap)
        return;
    const auto [left, top] = TopLeft(window, frame.height);
    m_debayer.toBitmap(frame, left, top, window.width, window.height, *BayerPatternOf(m_state.mosaic),
                       m_state.colour.method, m_bitmap);
    m_debayeredBitmap = true;
}

bool CFakeCallback::alignsChannels() const
{
    return m_state.dispersion && m_state.colour.alignRgb == AlignRgb::Correct && !m_state.testMode;
}

void CFakeCallback::finishBitmap(const FrameView& frame, const CropWindow& window)
{
    debayerBitmap(frame, window);
    if (!alignsChannels() || m_alignedBitmap)
        return;
    m_shifter.align(m_bitmap, *m_state.dispersion);
    m_alignedBitmap = true;
}

// The bitmap (and grey plane) as the output takes them: turned into memory of
// their own, so the crop itself stays as the frame gave it.
const OutputBitmap& CFakeCallback::orientedBitmap()
{
    if (!m_state.orientation.any())
        return m_bitmap;
    OrientBitmap(m_bitmap, m_state.orientation, m_turned);
    return m_turned;
}

const GrayPlane& CFakeCallback::orientedPlane()
{
    if (!m_state.orientation.any())
        return m_grayPlane;
    OrientPlane(m_grayPlane, m_bitmap.width(), m_bitmap.height(), m_state.orientation, m_turnedPlane);
    return m_turnedPlane;
}

// The output keeps the frames it already has when it refuses one; the rest of
// the file is not fed to it, and the user is told once.
FrameRecord::Outcome CFakeCallback::write(const FrameView& frame, const NativeFrame* native, const CropWindow& window,
                                          const FrameRecord& record)
{
    if (m_state.outputFailed || m_state.aviWriter == nullptr)
        return FrameRecord::Outcome::NotWritten;
    const std::optional<std::int64_t> utcTicks = record.utcTicks;
    try {
        m_state.aviWriter->nextFrameAt(record.sampleTime, utcTicks);
        if (m_state.aviWriter->takesSamples()) {
            // The same window as the 8-bit crop.
            const auto [left, top] = TopLeft(window, frame.height);
            if (native != nullptr) {
                if (debayers())
                    m_debayer.toSamples(*native, left, top, window.width, window.height,
                                        *BayerPatternOf(m_state.mosaic), m_state.colour.method, m_samples);
                else
                    CropSamples(*native, left, top, window.width, window.height, m_samples);
                if (alignsChannels())
                    m_shifter.align(m_samples, *m_state.dispersion);
            } else {
                finishBitmap(frame, window);
                SamplesOfCrop(m_bitmap, m_state.outputGrayscale && !debayers() ? &m_grayPlane : nullptr, m_samples);
                // The crop's own top-left names the pattern at it.
                m_samples.left = left;
                m_samples.top = top;
            }
            // A mosaic the user declared goes out under its name.
            if (m_samples.planes == 1 && m_state.mosaic != 0)
                m_samples.layout = m_state.mosaic;
            OrientSamples(m_samples, m_state.orientation, m_scratch);
            m_state.aviWriter->addSamples(m_samples, utcTicks, m_state.framesWritten);
        } else if (m_state.outputGrayscale && !debayers()) {
            m_state.aviWriter->addGrayFrame(orientedBitmap(), orientedPlane(), m_state.framesWritten);
        } else {
            finishBitmap(frame, window);
            m_state.aviWriter->addColorFrame(orientedBitmap(), m_state.framesWritten);
        }
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
    showPreview(frame, m);
    m_report.showFrame(frame.view(), overlay(frame.view(), m));
}

// A frame of a run as it went: its outcome is the record's, which also knows
// the reasons a single frame cannot tell (dim, not kept).
void CFakeCallback::showLiveFrame(const FrameView& frame, const Measurement& m, const FrameRecord& record)
{
    FrameOverlay o = overlay(frame, m);
    o.outcome = record.outcome == FrameRecord::Outcome::Written ? "" : OutcomeText(record.outcome);
    m_report.showLiveFrame(frame, o, record);
}

FrameOverlay CFakeCallback::overlay(const FrameView& frame, const Measurement& m) const
{
    FrameOverlay o;
    o.found = m.found;
    o.centerX = m.centerX;
    o.centerY = m.centerY;
    o.radiusX = m.radiusX;
    o.radiusY = m.radiusY;
    const CropWindow window = OutputWindow(m_state, m, m_options.removeIncomplete(), false);
    o.cropLeft = window.centerX - window.width / 2;
    o.cropBottom = window.centerY - window.height / 2;
    o.cropWidth = window.width;
    o.cropHeight = window.height;
    o.orientation = m_state.orientation;
    if (!m.found) {
        o.outcome = OutcomeText(m.limbMissing ? FrameRecord::Outcome::NoLimb : FrameRecord::Outcome::NoPlanet);
    } else if (const auto reason = rejection(frame, nullptr, m)) {
        o.outcome = OutcomeText(*reason);
    } else if (window.ignoreIncomplete && WindowReachesBorder(window, frame.width, frame.height)) {
        o.outcome = OutcomeText(FrameRecord::Outcome::Incomplete);
    }
    return o;
}

void CFakeCallback::showPreview(const MarkableFrame& frame, const Measurement& m)
{
    if (!(m_state.cogValid && m_state.cropValid)) {
        m_report.showWarning(m_state.cogValid          ? kWarningCropRefused
                                 : m_state.limbMissing ? kWarningNoLimb
                                                       : kWarningNoPlanet);
        return;
    }
    // Measured again only for the show-effect marking; blocks are valued
    // before they are marked, so the centre is unchanged.
    if (!m_state.centring.largestObject) {
        double cx = 0.0, cy = 0.0, rx = 0.0, ry = 0.0;
        FindPlanet(m_state, frame, cx, cy, m_state.thresholdPercent, rx, ry, m_options.showEffect(),
                   m_options.debayerSafe(), m_options.inverse());
    } else if (m_options.showEffect()) {
        SearchPlanet(m_state, frame.view(), &frame, choices(m_options.debayerSafe()).search);
    }
    const CropWindow window = OutputWindow(m_state, m, false, false);
    CropFrame(m_state, m_bitmap, frame.view(), m_grayPlane, window);
    // The marked blocks are no mosaic: a marked preview stays raw.
    if (!m_options.showEffect())
        debayerBitmap(frame.view(), window);
    // Turned as the output will be: the test shows what the run writes.
    m_report.showPreview(orientedBitmap());
}
