// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calibration/hot_pixels.h"
#include "calibration/master.h"
#include "calibration/sample_image.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orbicrop::calibration {

// What a capture is calibrated with. A flat is taken as calibrated already
// (its bias or dark-flat subtracted when it was made).
struct CalibrationMasters {
    std::optional<Master> dark;
    std::optional<Master> flat;
    std::optional<Master> bias;
};

// Calibrates frames in place, at their own depth: each sample becomes
// (raw - offset) / flat', rounded to the nearest integer and clamped to
// 0 .. 2^depth - 1, where offset is the dark, else the bias, else 0, and
// flat' is the flat normalised to a mean of 1: a mosaic's four sites each by
// its own mean, an RGB flat's planes each by theirs, so that a flat never
// shifts the colour balance. A flat sample at or below 1/64 of its mean
// (a dead corner) divides by 1. Then the defects, if any, are repaired.
//
// Prepared once (the flat's inverse, the offsets as floats) and shared by
// all the files of a batch; apply() is const and safe on several threads.
class Calibrator {
public:
    // The masters must agree with each other in size, planes and mosaic.
    Calibrator(const CalibrationMasters& masters, DefectMap defects = {});

    std::int32_t width() const { return m_width; }
    std::int32_t height() const { return m_height; }
    std::int32_t planes() const { return m_planes; }
    const DefectMap& defects() const { return m_defects; }
    void setDefects(DefectMap defects) { m_defects = std::move(defects); }
    // Whether any master takes part (else only defects are repaired).
    bool hasMasters() const { return !m_offset.empty() || !m_gain.empty(); }

    // frame has the calibrator's size and planes.
    void apply(const SampleImage& frame) const;

private:
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    std::int32_t m_planes = 1;
    std::vector<float> m_offset;   // empty: none; else one a sample, RGB order with 3 planes
    std::vector<float> m_gain;     // empty: none; else 1 / flat' a sample
    DefectMap m_defects;
};

}   // namespace orbicrop::calibration
