// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_layout.h"

#include <algorithm>

SerLayout LayOutSerFile(const orbicrop::ser::SerHeader& header, std::uint64_t fileSize)
{
    using orbicrop::ser::kHeaderBytes;
    SerLayout layout;
    layout.frameBytes = header.frameBytes();
    layout.declared = header.frameCount;
    if (layout.frameBytes == 0 || fileSize < kHeaderBytes)
        return layout;
    // Counting what fits first keeps every later product within the file size.
    const std::uint64_t fitting = (fileSize - kHeaderBytes) / layout.frameBytes;
    const std::uint64_t declared = header.frameCount;
    layout.frames =
        std::uint32_t(declared == 0 ? std::min<std::uint64_t>(fitting, UINT32_MAX) : std::min(fitting, declared));
    layout.hasTimestamps =
        declared != 0 && layout.frames == declared && fileSize - layout.timestampOffset() >= 8 * declared;
    return layout;
}

double FrameRateFromTimestamps(std::span<const std::int64_t> ticks)
{
    if (ticks.size() < 2)
        return kSerDefaultFrameRate;
    for (std::size_t i = 1; i < ticks.size(); ++i)
        if (ticks[i] <= ticks[i - 1])
            return kSerDefaultFrameRate;
    // Subtract before converting: stamps near 6e17 (today's dates) are far
    // beyond the integers a double holds exactly. Unsigned arithmetic keeps
    // the difference exact for any pair in increasing order.
    const std::uint64_t span = std::uint64_t(ticks.back()) - std::uint64_t(ticks.front());
    return double(ticks.size() - 1) * 1e7 / double(span);
}
