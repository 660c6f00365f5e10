#include "analysis/crop.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

bool RowHasColor(const std::uint8_t* pixels, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k) {
        if (pixels[std::size_t(k) * 3] != pixels[std::size_t(k) * 3 + 2])
            return true;
    }
    return false;
}

void CopyBlue(std::uint8_t* gray, const std::uint8_t* pixels, std::int32_t count)
{
    for (std::int32_t k = 0; k < count; ++k)
        gray[k] = pixels[std::size_t(k) * 3];
}

} // namespace

bool CropFrame(TProcessingState& state, OutputBitmap& bitmap, const std::uint8_t* frame,
               GrayPlane& grayPlane, std::int32_t centerX, std::int32_t centerY,
               std::int32_t halfWidth, std::int32_t halfHeight,
               std::int32_t width, std::int32_t height,
               bool ignoreIncomplete, bool makeGrayPlane)
{
    const std::int32_t inputWidth = state.inputWidth;
    const std::int32_t inputHeight = state.inputHeight;

    if (ignoreIncomplete) {
        if (centerX + halfWidth >= inputWidth - 1 || centerX - halfWidth <= 0
            || centerY + halfHeight >= inputHeight - 1 || centerY - halfHeight <= 0)
            return false;
    }

    bitmap.setSize(width, height);
    if (makeGrayPlane)
        grayPlane.assign(std::size_t(width) * std::size_t(height), 0);

    const std::int32_t left = centerX - width / 2;
    const std::int32_t bottom = centerY - height / 2;
    // The columns of the window that lie inside the frame: [first, last).
    const std::int64_t firstX = std::clamp<std::int64_t>(-std::int64_t(left), 0, width);
    const std::int64_t lastX = std::clamp<std::int64_t>(std::int64_t(inputWidth) - left, firstX, width);
    const std::size_t inside = std::size_t(lastX - firstX);
    const std::size_t inputStride = std::size_t(inputWidth) * 3;

    for (std::int32_t i = 0; i < height; ++i) {
        std::uint8_t* out = bitmap.rowFromBottom(i);
        std::uint8_t* gray = makeGrayPlane
            ? grayPlane.data() + std::size_t(height - 1 - i) * std::size_t(width) : nullptr;
        const std::int64_t y = std::int64_t(bottom) + i;
        if (y < 0 || y >= inputHeight || inside == 0) {
            std::memset(out, 0, std::size_t(width) * 3);
            continue;   // the grey row is already 0
        }
        const std::uint8_t* src = frame + std::size_t(y) * inputStride
                                  + std::size_t(left + firstX) * 3;
        std::memset(out, 0, std::size_t(firstX) * 3);
        std::memcpy(out + firstX * 3, src, inside * 3);
        std::memset(out + lastX * 3, 0, std::size_t(width - lastX) * 3);
        if (!state.colorDetected && RowHasColor(src, std::int32_t(inside)))
            state.colorDetected = true;
        if (gray)
            CopyBlue(gray + firstX, src, std::int32_t(inside));
    }
    return true;
}
