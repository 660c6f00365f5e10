// SPDX-License-Identifier: GPL-3.0-or-later
// Random frames, sizes, thresholds and flags through the planet search and
// the crop: nothing may read or write outside the frame, the bitmap or the
// grey plane, and the results must keep their invariants.

#include "analysis/crop.h"
#include "analysis/planet.h"
#include "analysis/rounding.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint8_t byte() { return size ? (--size, *data++) : 0; }
    std::int32_t small(std::int32_t limit) { return std::int32_t((byte() | (byte() << 8)) % limit); }
};

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader in{data, size};
    TProcessingState state;
    state.blockSize = kBlockSize;
    state.inputWidth = in.small(97);
    state.inputHeight = in.small(67);
    const double percent = double(std::int8_t(in.byte())) * 1.7;
    const std::uint8_t flags = in.byte();
    const std::int32_t cropWidth = 1 + in.small(80);
    const std::int32_t cropHeight = 1 + in.small(80);

    std::vector<std::uint8_t> frame(std::size_t(state.inputWidth) * std::size_t(state.inputHeight) * 3);
    for (auto& b : frame)
        b = in.byte();
    const std::vector<std::uint8_t> before = frame;

    double cx = -1, cy = -1, rx = -1, ry = -1;
    const bool showEffect = flags & 1;
    const bool found = FindPlanet(state, frame.data(), cx, cy, percent, rx, ry, showEffect, flags & 2, flags & 4);
    if (!found && (cx != 0.0 || cy != 0.0) && !(flags & 2))
        std::abort();
    if (!(rx >= 0.0) || !(ry >= 0.0) || !std::isfinite(cx) || !std::isfinite(cy))
        std::abort();
    if (!showEffect && frame != before)
        std::abort();
    for (std::size_t k = 0; k < frame.size(); ++k)   // only green bytes may change
        if (k % 3 != 1 && frame[k] != before[k])
            std::abort();

    OutputBitmap bitmap;
    GrayPlane plane;
    const auto x = std::int32_t(RoundHalfEven(cx)) + (in.byte() % 9) - 4;
    const auto y = std::int32_t(RoundHalfEven(cy)) + (in.byte() % 9) - 4;
    const bool accepted = CropFrame(state, bitmap, frame.data(), plane, x, y, cropWidth / 2, cropHeight / 2, cropWidth,
                                    cropHeight, flags & 8, flags & 16);
    if (accepted) {
        if (bitmap.width() != cropWidth || bitmap.height() != cropHeight)
            std::abort();
        if ((flags & 16) && plane.size() != std::size_t(cropWidth) * std::size_t(cropHeight))
            std::abort();
    } else if (!bitmap.empty() || !plane.empty()) {
        std::abort();
    }
    return 0;
}
