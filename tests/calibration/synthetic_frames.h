// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Frames in memory in the layouts calibration meets, read and written here
// sample by sample on their own terms (not through the code under test),
// and the noise of the synthetic captures.

#include "calibration/calibrator.h"
#include "calibration/master.h"
#include "calibration/sample_image.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

namespace calibtest {

using namespace orbicrop::calibration;

struct Layout {
    const char* name;
    std::int32_t bytes;
    std::int32_t depth;
    std::int32_t planes;
    bool bgr;
    std::optional<BayerPattern> mosaic;
    bool bottomUp;
    std::uint32_t top() const { return (1U << depth) - 1U; }
};

inline void PrintTo(const Layout& layout, std::ostream* os)
{
    *os << layout.name;
}

// 0 red, 1 green, 2 blue: the plane of an RGB sample, or the letter of the
// mosaic's name at the sample's place in its 2 x 2 cell.
inline std::int32_t ColourOf(const Layout& layout, std::int32_t x, std::int32_t y, std::int32_t plane)
{
    if (!layout.mosaic) {
        return plane;
    }
    const char letter = NameOf(*layout.mosaic)[std::size_t((y % 2) * 2 + x % 2)];
    return letter == 'R' ? 0 : letter == 'G' ? 1 : 2;
}

// Rows padded beyond their samples, and stored last row first when the
// layout is bottom-up, so that a calibration that ignores the stride shows.
class Frame {
public:
    Frame(const Layout& layout, std::int32_t width, std::int32_t height) : m_layout(layout)
    {
        const std::ptrdiff_t rowBytes = std::ptrdiff_t(width) * layout.planes * layout.bytes + 6;
        m_bytes.assign(std::size_t(rowBytes * height), 0x5A);
        image = SampleImage{.topRow = m_bytes.data() + (layout.bottomUp ? rowBytes * (height - 1) : 0),
                            .stride = layout.bottomUp ? -rowBytes : rowBytes,
                            .width = width,
                            .height = height,
                            .planes = layout.planes,
                            .bgr = layout.bgr,
                            .bytesPerSample = layout.bytes,
                            .depth = layout.depth,
                            .mosaic = layout.mosaic};
    }
    Frame(const Frame& other) : m_layout(other.m_layout), m_bytes(other.m_bytes), image(other.image)
    {
        image.topRow = m_bytes.data() + (other.image.topRow - other.m_bytes.data());
    }
    Frame& operator=(const Frame&) = delete;

    // plane: 0 red, 1 green, 2 blue with 3 planes.
    std::uint32_t at(std::int32_t x, std::int32_t y, std::int32_t plane = 0) const
    {
        const std::uint8_t* p = place(x, y, plane);
        return m_layout.bytes == 1 ? p[0] : std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
    }
    void set(std::int32_t x, std::int32_t y, std::int32_t plane, std::uint32_t value)
    {
        std::uint8_t* p = place(x, y, plane);
        p[0] = std::uint8_t(value);
        if (m_layout.bytes == 2) {
            p[1] = std::uint8_t(value >> 8);
        }
    }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::uint8_t* place(std::int32_t x, std::int32_t y, std::int32_t plane) const
    {
        const std::int32_t stored = m_layout.planes == 3 && m_layout.bgr ? 2 - plane : plane;
        return image.row(y) + (std::ptrdiff_t(x) * m_layout.planes + stored) * m_layout.bytes;
    }

    Layout m_layout;
    std::vector<std::uint8_t> m_bytes;

public:
    SampleImage image;
};

// Sums of twelve uniform numbers less six: near enough a normal deviate, and
// the same on every standard library, which std::normal_distribution is not.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_rng(seed) {}
    double uniform() { return double(m_rng()) / 4294967296.0; }
    double normal()
    {
        double sum = -6.0;
        for (int i = 0; i < 12; ++i) {
            sum += uniform();
        }
        return sum;
    }

private:
    std::mt19937 m_rng;
};

inline Master Uniform(MasterKind kind, const Layout& layout, std::int32_t width, std::int32_t height, float value)
{
    Master master;
    master.kind = kind;
    master.width = width;
    master.height = height;
    master.planes = layout.planes;
    master.mosaic = layout.mosaic;
    master.values.assign(master.samples(), value);
    return master;
}

inline CalibrationMasters Masters(std::optional<Master> dark, std::optional<Master> flat = std::nullopt)
{
    CalibrationMasters masters;
    masters.dark = std::move(dark);
    masters.flat = std::move(flat);
    return masters;
}

// Every pass of the combiner over the frames makeFrame(0 .. frames - 1) makes.
template <typename MakeFrame>
Master Combine(MasterKind kind, std::int32_t frames, MakeFrame makeFrame,
               CombineMethod method = CombineMethod::SigmaClippedMean, const Master* offset = nullptr)
{
    const Frame first = makeFrame(0);
    MasterCombiner combiner(kind, first.image.width, first.image.height, first.image.planes, method);
    for (std::int32_t pass = 0; pass < combiner.passes(); ++pass) {
        for (std::int32_t i = 0; i < frames; ++i) {
            combiner.add(makeFrame(i).image, offset);
        }
        combiner.endPass();
    }
    Master master = combiner.master();
    master.mosaic = first.image.mosaic;
    return master;
}

}   // namespace calibtest
