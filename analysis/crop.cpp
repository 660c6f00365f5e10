// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/crop.h"

#include "image/vector_loop.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Picking every third byte needs the byte shuffles of the AVX2 clones.

// Without an early exit the loop vectorises; most crops of a grey capture
// scan every pixel, and a colour one stops being scanned once found.
ORBICROP_VECTOR_LOOP bool RowHasColor(const std::uint8_t* pixels, std::int32_t count)
{
    unsigned differ = 0;
    for (std::int32_t k = 0; k < count; ++k)
        differ |= unsigned(pixels[std::size_t(k) * 3] ^ pixels[std::size_t(k) * 3 + 2]);
    return differ != 0;
}

void CopyBlue(std::uint8_t* gray, const std::uint8_t* pixels, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k)
        gray[k] = pixels[std::size_t(k) * 3];
}

}   // namespace

ORBICROP_VECTOR_LOOP void ExpandGray(std::uint8_t* out, const std::uint8_t* gray, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k) {
        out[std::size_t(k) * 3] = gray[k];
        out[std::size_t(k) * 3 + 1] = gray[k];
        out[std::size_t(k) * 3 + 2] = gray[k];
    }
}

bool CropFrame(TProcessingState& state, OutputBitmap& bitmap, const std::uint8_t* frame, GrayPlane& grayPlane,
               std::int32_t centerX, std::int32_t centerY, std::int32_t halfWidth, std::int32_t halfHeight,
               std::int32_t width, std::int32_t height, bool ignoreIncomplete, bool makeGrayPlane)
{
    return CropFrame(
        state, bitmap, BgrFrame(state, frame), grayPlane,
        CropWindow{centerX, centerY, halfWidth, halfHeight, width, height, ignoreIncomplete, makeGrayPlane});
}

bool WindowReachesBorder(const CropWindow& window, std::int32_t inputWidth, std::int32_t inputHeight)
{
    return window.centerX + window.halfWidth >= inputWidth - 1 || window.centerX - window.halfWidth <= 0
        || window.centerY + window.halfHeight >= inputHeight - 1 || window.centerY - window.halfHeight <= 0;
}

bool CropFrame(TProcessingState& state, OutputBitmap& bitmap, const FrameView& frame, GrayPlane& grayPlane,
               const CropWindow& window)
{
    const auto [centerX, centerY, halfWidth, halfHeight, width, height, ignoreIncomplete, makeGrayPlane] = window;
    const std::int32_t inputWidth = frame.width;
    const std::int32_t inputHeight = frame.height;

    if (ignoreIncomplete && WindowReachesBorder(window, inputWidth, inputHeight))
        return false;

    bitmap.setSize(width, height);
    if (makeGrayPlane)
        grayPlane.assign(std::size_t(width) * std::size_t(height), 0);

    const std::int32_t left = centerX - width / 2;
    const std::int32_t bottom = centerY - height / 2;
    // The columns of the window that lie inside the frame: [first, last).
    const std::int64_t firstX = std::clamp<std::int64_t>(-std::int64_t(left), 0, width);
    const std::int64_t lastX = std::clamp<std::int64_t>(std::int64_t(inputWidth) - left, firstX, width);
    const std::size_t inside = std::size_t(lastX - firstX);
    const std::size_t bpp = std::size_t(frame.bytesPerPixel);

    for (std::int32_t i = 0; i < height; ++i) {
        std::uint8_t* out = bitmap.rowFromBottom(i);
        std::uint8_t* gray =
            makeGrayPlane ? grayPlane.data() + std::size_t(height - 1 - i) * std::size_t(width) : nullptr;
        const std::int64_t y = std::int64_t(bottom) + i;
        if (y < 0 || y >= inputHeight || inside == 0) {
            std::memset(out, 0, std::size_t(width) * 3);
            continue;   // the grey row is already 0
        }
        const std::uint8_t* src = frame.row(std::int32_t(y)) + std::size_t(left + firstX) * bpp;
        std::memset(out, 0, std::size_t(firstX) * 3);
        std::memset(out + lastX * 3, 0, std::size_t(width - lastX) * 3);
        if (frame.gray()) {
            ExpandGray(out + firstX * 3, src, std::int32_t(inside));
            if (gray)
                std::memcpy(gray + firstX, src, inside);
            continue;
        }
        std::memcpy(out + firstX * 3, src, inside * 3);
        if (!state.colorDetected && RowHasColor(src, std::int32_t(inside)))
            state.colorDetected = true;
        if (gray)
            CopyBlue(gray + firstX, src, std::int32_t(inside));
    }
    return true;
}
