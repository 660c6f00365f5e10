// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "calibration/calibrator.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

// Calibrates every frame before the sink behind it sees it: the samples as
// the file stores them (or, where a source hands over only the 8-bit
// picture, that picture), at their own depth, and the 8-bit picture made
// anew from the calibrated samples, narrowed as the readers narrow them. So
// the planet is found, and every output written, from calibrated frames.
//
// It takes whole frames (no painted ones), and no frame measured ahead: the
// source measured the frame before its calibration.
class CalibratingSink final : public WholeFrameSink {
public:
    // mosaic: the layout id of the file's top-left sample when the file is a
    // 2 x 2 mosaic by its own or the user's word (8..19), else 0.
    CalibratingSink(FrameSink& sink, const orbicrop::calibration::Calibrator& calibrator, std::int32_t mosaic)
        : m_sink(sink), m_calibrator(calibrator), m_mosaic(mosaic)
    {}

    std::int32_t FrameCB(const SourceFrame& frame) override;
    bool acceptsPaintedFrames() const override { return false; }
    std::optional<FrameMeasurer> measurerAhead() override { return std::nullopt; }
    bool readsStoredSamples() const override { return true; }

private:
    std::int32_t calibrateSamples(const SourceFrame& frame);
    std::int32_t calibratePicture(const SourceFrame& frame);
    // Hands a calibrated one-plane picture (rows top-down, m_plane) on, as
    // grey when the sink takes grey frames, else expanded to 24 bits.
    std::int32_t passGray(SourceFrame frame);
    // m_plane (8-bit samples, rows top-down, the calibrator's size) as calibration takes it.
    orbicrop::calibration::SampleImage planeImage();
    void checkSize(std::int32_t width, std::int32_t height, std::int32_t planes) const;

    FrameSink& m_sink;
    const orbicrop::calibration::Calibrator& m_calibrator;
    std::int32_t m_mosaic;
    // Memory that serves every frame of the run.
    std::vector<std::uint8_t> m_samples;
    std::vector<std::uint8_t> m_plane;
    std::vector<std::uint8_t> m_picture;
};

// The 8-bit value of a sample of depth bits, as the readers narrow deep
// samples (the top 8 bits, saturated) and widen shallow ones.
inline std::uint8_t NarrowedSample(unsigned value, std::int32_t depth)
{
    const unsigned v = depth >= 8 ? value >> unsigned(depth - 8) : value << unsigned(8 - depth);
    return std::uint8_t(v < 255 ? v : 255);
}

// Hands a one-plane 8-bit picture (rows top-down, width x height, no
// padding) on to sink with the rest of frame: as grey when the sink takes
// grey frames, else expanded into picture's 24 bits.
std::int32_t PassPlane(FrameSink& sink, SourceFrame frame, const std::vector<std::uint8_t>& plane, std::int32_t width,
                       std::int32_t height, std::vector<std::uint8_t>& picture);

// Mosaic layout ids as calibration names them: the pattern at the top-left
// sample, for the four RGB Bayer mosaics; none for others.
std::optional<BayerPattern> CalibrationMosaic(std::int32_t layout);

// A master that does not fit the frames met during a run; what() says which
// and how, in words for the user.
class CalibrationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The samples of frame as calibration reads them, without a copy: the
// stored samples when the source handed them over, else the 8-bit picture
// (grey, or 24 bits blue first). mosaic: the file's layout id, or 0.
orbicrop::calibration::ConstSampleImage SamplesOf(const SourceFrame& frame, std::int32_t width, std::int32_t height,
                                                  std::int32_t mosaic);
