// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/sample_crop.h"

#include <algorithm>
#include <cstring>

void CropSamples(const NativeFrame& frame, std::int64_t left, std::int64_t top, std::int32_t width, std::int32_t height,
                 SampleFrame& out)
{
    const std::size_t pixelBytes = std::size_t(frame.planes) * std::size_t(frame.bytesPerSample);
    const std::size_t rowBytes = std::size_t(width) * pixelBytes;
    out.width = width;
    out.height = height;
    out.layout = frame.layout;
    out.planes = frame.planes;
    out.bytesPerSample = frame.bytesPerSample;
    out.depth = frame.depth;
    out.left = left;
    out.top = top;
    out.header = frame.header;
    out.samples.assign(rowBytes * std::size_t(height), 0);

    // The columns of the window inside the frame: [firstX, lastX).
    const std::int64_t firstX = std::clamp<std::int64_t>(-left, 0, width);
    const std::int64_t lastX = std::clamp<std::int64_t>(std::int64_t(frame.width) - left, firstX, width);
    if (lastX == firstX)
        return;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::int64_t y = top + r;
        if (y < 0 || y >= frame.height)
            continue;
        const std::uint8_t* src = frame.topRow + std::ptrdiff_t(y) * frame.stride
            + std::ptrdiff_t(left + firstX) * std::ptrdiff_t(pixelBytes);
        std::memcpy(out.samples.data() + std::size_t(r) * rowBytes + std::size_t(firstX) * pixelBytes, src,
                    std::size_t(lastX - firstX) * pixelBytes);
    }
}

void SamplesOfCrop(const OutputBitmap& bitmap, const GrayPlane* plane, SampleFrame& out)
{
    const std::int32_t width = bitmap.width();
    const std::int32_t height = bitmap.height();
    out.width = width;
    out.height = height;
    out.bytesPerSample = 1;
    out.depth = 8;
    out.left = 0;
    out.top = 0;
    out.header = nullptr;
    if (plane != nullptr && !plane->empty()) {
        out.layout = kSamplesMono;
        out.planes = 1;
        out.samples.assign(plane->begin(), plane->end());
        return;
    }
    out.layout = kSamplesBgr;
    out.planes = 3;
    const std::size_t rowBytes = std::size_t(width) * 3;
    out.samples.resize(rowBytes * std::size_t(height));
    for (std::int32_t r = 0; r < height; ++r)
        std::memcpy(out.samples.data() + std::size_t(r) * rowBytes, bitmap.rowFromTop(r), rowBytes);
}
