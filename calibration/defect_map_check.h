// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A defect map is read from a file: it is held to its frame's size before
// any sample of the frame is changed. Internal to the calibration folder.

#include "calibration/hot_pixels.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace orbicrop::calibration::detail {

inline void CheckDefectMap(const DefectMap& map, std::int32_t width, std::int32_t height)
{
    if (map.width != width || map.height != height) {
        throw std::invalid_argument("The defect map's size differs from the frame's");
    }
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    for (const std::vector<std::uint32_t>* list : {&map.hot, &map.cold}) {
        for (const std::uint32_t at : *list) {
            if (at >= pixels) {
                throw std::invalid_argument("The defect map names a pixel outside the frame");
            }
        }
    }
}

}   // namespace orbicrop::calibration::detail
