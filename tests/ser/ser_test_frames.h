// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ser/ser_format.h"

#include <cstdint>
#include <vector>

namespace sertest {

// Frame bytes that differ in every row, column, plane and frame, so that a
// shifted, swapped or repeated frame cannot pass for the right one. Samples
// stay within the format's depth; two-byte samples are little-endian.
inline std::vector<std::uint8_t> testFrame(const orbicrop::ser::SerFormat& f, std::int32_t index)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(f.frameBytes());
    const std::uint32_t mask = (1u << f.depth) - 1;
    for (std::int32_t y = 0; y < f.height; ++y)
        for (std::int32_t x = 0; x < f.width; ++x)
            for (std::int32_t p = 0; p < f.planes(); ++p) {
                const std::uint32_t v = (std::uint32_t(x) * 131 + std::uint32_t(y) * 1031 + std::uint32_t(p) * 7
                                         + std::uint32_t(index) * 40009)
                    & mask;
                bytes.push_back(std::uint8_t(v));
                if (f.bytesPerSample() == 2)
                    bytes.push_back(std::uint8_t(v >> 8));
            }
    return bytes;
}

// A time stamp per frame, a 25 fps run on 2024-01-01.
inline std::int64_t testStamp(std::int32_t index)
{
    return 638396640000000000 + std::int64_t(index) * 400000;
}

}   // namespace sertest
