// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/object_extent.h"

#include "analysis/planet.h"
#include "analysis/processing_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::int32_t Pixels(double extent)
{
    return std::int32_t(std::ceil(extent - 1e-9));
}

std::string Dimensions(std::int32_t width, std::int32_t height)
{
    return std::to_string(width) + " \u00d7 " + std::to_string(height);
}

std::int32_t SideFromObject(double extent)
{
    const std::int32_t wanted = Pixels(1.25 * extent);
    const std::int32_t rounded = (wanted + kCropSizeStep - 1) / kCropSizeStep * kCropSizeStep;
    return std::clamp(rounded, kCropPositionMin * kCropSizeStep, kLargeCropPositionMax * kCropSizeStep);
}

}   // namespace

void FirstFrames::add(const PlanetFix& fix, std::int32_t blockSize)
{
    double w = 2.0 * fix.radiusX + double(blockSize);
    double h = 2.0 * fix.radiusY + double(blockSize);
    if (fix.limbRadius > 0.0) {
        w = std::max(w, 2.0 * fix.limbRadius);
        h = std::max(h, 2.0 * fix.limbRadius);
        limbRadii.push_back(fix.limbRadius);
    }
    width = std::max(width, w);
    height = std::max(height, h);
}

std::optional<double> FirstFrames::heldLimbRadius() const
{
    if (limbRadii.empty())
        return std::nullopt;
    std::vector<double> sorted = limbRadii;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    return sorted.size() % 2 != 0 ? sorted[middle] : 0.5 * (sorted[middle - 1] + sorted[middle]);
}

std::pair<std::int32_t, std::int32_t> SizeFromObject(double width, double height)
{
    return {SideFromObject(width), SideFromObject(height)};
}

std::string SizeFromObjectLine(std::int32_t width, std::int32_t height)
{
    return "Output size from the planet: " + Dimensions(width, height);
}

std::string LimbRadiusLine(double radius)
{
    char text[64];
    std::snprintf(text, sizeof text, "Limb radius from the first frames: %.1f px", radius);
    return text;
}

std::optional<std::string> CutWarning(const FirstFrames& first, std::int32_t cropWidth, std::int32_t cropHeight)
{
    const std::int32_t w = Pixels(first.width), h = Pixels(first.height);
    if (!first.any() || (w <= cropWidth && h <= cropHeight))
        return std::nullopt;
    return "The planet, " + Dimensions(w, h) + " px, is larger than the " + Dimensions(cropWidth, cropHeight)
        + " output: its edge will be cut. Choose a larger size or --size auto";
}
