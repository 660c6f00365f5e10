// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/calibrating_sink.h"

#include "analysis/debayer_crop.h"
#include "image/vector_loop.h"

#include <algorithm>
#include <cstring>
#include <string>

using orbicrop::calibration::SampleImage;

std::optional<BayerPattern> CalibrationMosaic(std::int32_t layout)
{
    return IsMosaic(layout) ? BayerPatternOf(layout) : std::nullopt;
}

namespace {

// Two-byte samples (the host's order) to their top 8 bits, saturated: every
// sample of every calibrated frame passes here, so it is one loop the
// compiler vectorises.
ORBICROP_VECTOR_LOOP void NarrowWords(const std::uint8_t* __restrict in, std::size_t n, unsigned shift,
                                      std::uint8_t* __restrict out)
{
    for (std::size_t i = 0; i < n; ++i) {
        std::uint16_t v;
        std::memcpy(&v, in + 2 * i, 2);
        const unsigned s = unsigned(v) >> shift;
        out[i] = std::uint8_t(s < 255 ? s : 255);
    }
}

// The calibrator's refusal of a frame, in the run's terms.
void Apply(const orbicrop::calibration::Calibrator& calibrator, const SampleImage& image)
{
    try {
        calibrator.apply(image);
    } catch (const std::invalid_argument& e) {
        throw CalibrationError(e.what());
    }
}

}   // namespace

std::int32_t CalibratingSink::FrameCB(const SourceFrame& frame)
{
    if (frame.native != nullptr && frame.native->topRow != nullptr)
        return calibrateSamples(frame);
    return calibratePicture(frame);
}

void CalibratingSink::checkSize(std::int32_t width, std::int32_t height, std::int32_t planes) const
{
    // Without masters only the defects are repaired, on frames of any planes.
    const bool planesMatter = m_calibrator.hasMasters();
    if (width == m_calibrator.width() && height == m_calibrator.height()
        && (!planesMatter || planes == m_calibrator.planes()))
        return;
    const auto kind = [](std::int32_t p) { return std::string(p == 3 ? "colour" : "one-plane"); };
    throw CalibrationError("The masters are " + kind(m_calibrator.planes()) + " frames of "
                           + std::to_string(m_calibrator.width()) + " x " + std::to_string(m_calibrator.height())
                           + ", the file's " + kind(planes) + " frames of " + std::to_string(width) + " x "
                           + std::to_string(height));
}

// The stored samples, calibrated in a copy; the picture the sink sees is
// narrowed from them.
std::int32_t CalibratingSink::calibrateSamples(const SourceFrame& frame)
{
    const NativeFrame& in = *frame.native;
    checkSize(in.width, in.height, in.planes);
    const std::size_t rowBytes = in.rowBytes();
    m_samples.resize(rowBytes * std::size_t(in.height));
    for (std::int32_t y = 0; y < in.height; ++y)
        std::memcpy(m_samples.data() + std::size_t(y) * rowBytes, in.topRow + std::ptrdiff_t(y) * in.stride, rowBytes);
    Apply(m_calibrator,
          orbicrop::calibration::WithSamples(SamplesOf(frame, in.width, in.height, m_mosaic), m_samples.data(),
                                             std::ptrdiff_t(rowBytes)));

    NativeFrame native = in;
    native.topRow = m_samples.data();
    native.stride = std::ptrdiff_t(rowBytes);
    SourceFrame out;
    out.sampleTime = frame.sampleTime;
    out.native = &native;
    const auto sample = [&](std::size_t i) {
        const std::uint8_t* p = m_samples.data() + i * std::size_t(in.bytesPerSample);
        return in.bytesPerSample == 2 ? unsigned(p[0]) | unsigned(p[1]) << 8 : unsigned(p[0]);
    };
    const std::size_t width = std::size_t(in.width);
    if (in.planes == 1) {
        m_plane.resize(width * std::size_t(in.height));
        if (in.bytesPerSample == 2 && in.depth >= 8)
            NarrowWords(m_samples.data(), m_plane.size(), unsigned(in.depth - 8), m_plane.data());
        else
            for (std::size_t i = 0; i < m_plane.size(); ++i)
                m_plane[i] = NarrowedSample(sample(i), in.depth);
        return passGray(out);
    }
    // Three samples a pixel: to the 24-bit picture, blue first, rows bottom-up.
    m_picture.resize(width * std::size_t(in.height) * 3);
    const bool bgr = in.layout == kSamplesBgr;
    for (std::int32_t y = 0; y < in.height; ++y) {
        std::uint8_t* row = m_picture.data() + std::size_t(in.height - 1 - y) * width * 3;
        for (std::size_t x = 0; x < width; ++x)
            for (std::size_t c = 0; c < 3; ++c) {
                const std::size_t stored = bgr ? c : 2 - c;
                row[x * 3 + c] = NarrowedSample(sample((std::size_t(y) * width + x) * 3 + stored), in.depth);
            }
    }
    out.buffer = m_picture.data();
    out.bufferLength = std::int32_t(m_picture.size());
    return m_sink.FrameCB(out);
}

// A source that hands over only its 8-bit picture: the picture is the
// samples.
std::int32_t CalibratingSink::calibratePicture(const SourceFrame& frame)
{
    if (frame.grayBottomRow == nullptr && frame.buffer == nullptr)
        return m_sink.FrameCB(frame);
    const std::int32_t width = m_calibrator.width();
    const std::int32_t height = m_calibrator.height();
    SourceFrame out = frame;
    out.measured = nullptr;
    if (frame.grayBottomRow != nullptr) {
        checkSize(width, height, 1);
        // Top-down into our plane: the bottom row is the last.
        m_plane.resize(std::size_t(width) * std::size_t(height));
        for (std::int32_t y = 0; y < height; ++y)
            std::memcpy(m_plane.data() + std::size_t(height - 1 - y) * std::size_t(width),
                        frame.grayBottomRow + std::ptrdiff_t(y) * frame.grayStride, std::size_t(width));
        Apply(m_calibrator, planeImage());
        return passGray(out);
    }
    // 24 bits, rows bottom-up, which the sink may change: calibrated in place.
    const std::size_t rowBytes = std::size_t(width) * 3;
    if (frame.bufferLength < 0 || std::size_t(frame.bufferLength) != rowBytes * std::size_t(height))
        throw CalibrationError("The masters' frames are not the size of the file's frames");
    SampleImage image;
    image.topRow = frame.buffer + std::ptrdiff_t(rowBytes) * (height - 1);
    image.stride = -std::ptrdiff_t(rowBytes);
    image.width = width;
    image.height = height;
    image.planes = 3;
    image.bgr = true;
    if (m_calibrator.planes() == 3 || !m_calibrator.hasMasters()) {
        Apply(m_calibrator, image);
        return m_sink.FrameCB(out);
    }
    // A grey or raw mosaic video decoded to 24 bits (blue = green = red):
    // calibrated on one plane, written back to all three bytes.
    m_plane.resize(std::size_t(width) * std::size_t(height));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = image.row(y);
        for (std::int32_t x = 0; x < width; ++x)
            m_plane[std::size_t(y) * std::size_t(width) + std::size_t(x)] = row[std::size_t(x) * 3 + 1];
    }
    Apply(m_calibrator, planeImage());
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (std::int32_t x = 0; x < width; ++x)
            std::fill_n(row + std::size_t(x) * 3, 3, m_plane[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
    }
    return m_sink.FrameCB(out);
}

SampleImage CalibratingSink::planeImage()
{
    SampleImage image;
    image.topRow = m_plane.data();
    image.stride = m_calibrator.width();
    image.width = m_calibrator.width();
    image.height = m_calibrator.height();
    image.mosaic = CalibrationMosaic(m_mosaic);
    return image;
}

std::int32_t CalibratingSink::passGray(SourceFrame frame)
{
    return PassPlane(m_sink, frame, m_plane, m_calibrator.width(), m_calibrator.height(), m_picture);
}

std::int32_t PassPlane(FrameSink& sink, SourceFrame frame, const std::vector<std::uint8_t>& plane, std::int32_t width,
                       std::int32_t height, std::vector<std::uint8_t>& picture)
{
    frame.measured = nullptr;
    frame.painter = nullptr;
    if (sink.acceptsGrayFrames()) {
        frame.buffer = nullptr;
        frame.bufferLength = 0;
        frame.grayBottomRow = plane.data() + std::size_t(height - 1) * std::size_t(width);
        frame.grayStride = -std::ptrdiff_t(width);
        return sink.FrameCB(frame);
    }
    picture.resize(std::size_t(width) * std::size_t(height) * 3);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = plane.data() + std::size_t(height - 1 - y) * std::size_t(width);
        std::uint8_t* out = picture.data() + std::size_t(y) * std::size_t(width) * 3;
        for (std::int32_t x = 0; x < width; ++x)
            std::fill_n(out + std::size_t(x) * 3, 3, in[x]);
    }
    frame.grayBottomRow = nullptr;
    frame.grayStride = 0;
    frame.buffer = picture.data();
    frame.bufferLength = std::int32_t(picture.size());
    return sink.FrameCB(frame);
}

orbicrop::calibration::ConstSampleImage SamplesOf(const SourceFrame& frame, std::int32_t width, std::int32_t height,
                                                  std::int32_t mosaic)
{
    orbicrop::calibration::ConstSampleImage image;
    image.width = width;
    image.height = height;
    if (frame.native != nullptr && frame.native->topRow != nullptr) {
        const NativeFrame& in = *frame.native;
        image.topRow = in.topRow;
        image.stride = in.stride;
        image.width = in.width;
        image.height = in.height;
        image.planes = in.planes;
        image.bgr = in.layout == kSamplesBgr;
        image.bytesPerSample = in.bytesPerSample;
        image.depth = in.depth;
        image.mosaic = CalibrationMosaic(IsMosaic(in.layout) ? in.layout : mosaic);
    } else if (frame.grayBottomRow != nullptr) {
        image.topRow = frame.grayBottomRow + std::ptrdiff_t(height - 1) * frame.grayStride;
        image.stride = -frame.grayStride;
        image.mosaic = CalibrationMosaic(mosaic);
    } else if (frame.buffer != nullptr) {
        const std::ptrdiff_t rowBytes = std::ptrdiff_t(width) * 3;
        image.topRow = frame.buffer + rowBytes * (height - 1);
        image.stride = -rowBytes;
        image.planes = 3;
        image.bgr = true;
    }
    return image;
}
