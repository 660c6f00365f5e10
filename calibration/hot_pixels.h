// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calibration/master.h"
#include "calibration/sample_image.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orbicrop::calibration {

// Pixels a sensor gets wrong in every frame: hot (too bright) and cold
// (dead), by their place (x, y from the top-left; with 3 planes all three
// samples of the pixel).
struct DefectMap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> hot;    // y * width + x, ascending
    std::vector<std::uint32_t> cold;   // y * width + x, ascending
    bool empty() const { return hot.empty() && cold.empty(); }
};

// The defects of a master dark: samples above its median by more than sigmas
// robust deviations (1.4826 x the median absolute deviation) are hot, below
// it by as much cold. A mosaic's four sites, and an RGB master's planes, are
// measured each against its own median and deviation.
DefectMap FindDefectsInDark(const Master& dark, double sigmas = 5.0);

// Defects found in the frames themselves, with no dark: a sample that stands
// more than sigmas robust deviations above (hot) or below (cold) the median of
// its nearest neighbours of the same colour, in more than half the frames
// seen. A star or a moon moves between frames; a hot pixel does not. The
// deviation is the frame's own, robustly estimated over all samples' differences
// from their neighbours' median.
class DefectVoter {
public:
    DefectVoter(std::int32_t width, std::int32_t height, std::int32_t planes, std::optional<BayerPattern> mosaic,
                double sigmas = 5.0);
    void add(const ConstSampleImage& frame);
    std::int32_t frames() const;
    DefectMap defects() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Replaces every defect of map in frame by the median of its nearest
// neighbours of its own colour that are no defects themselves: the 8 around
// it in mono (per plane with 3 planes); in a mosaic the nearest sites of its
// own colour (for red and blue the 8 two samples away, for green the 4
// diagonal and the 4 two samples away), so that a site is never filled from
// another colour. Neighbours outside the frame are left out.
void RepairDefects(const SampleImage& frame, const DefectMap& map);

}   // namespace orbicrop::calibration
