// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/calibrator.h"

#include "calibration/defect_map_check.h"
#include "calibration/samples.h"
#include "calibration/sites.h"
#include "image/vector_loop.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

namespace orbicrop::calibration {

namespace {

// The per-sample work of every frame of a batch, so kept to one plain loop
// over a row with everything prepared: the compiler vectorises it. Adding a
// half and truncating rounds to the nearest, as the value is not negative.
ORBICROP_VECTOR_LOOP void CalibrateBytes(std::uint8_t* __restrict samples, const float* __restrict offset,
                                         const float* __restrict gain, std::size_t count, float top)
{
    for (std::size_t i = 0; i < count; ++i) {
        float v = (float(samples[i]) - offset[i]) * gain[i];
        v = v > 0.0f ? v : 0.0f;
        v = v < top ? v : top;
        samples[i] = std::uint8_t(std::int32_t(v + 0.5f));
    }
}

// Two-byte samples in the host's order, loaded and stored whole bytes at a
// time: a frame's rows need not be aligned for 16-bit access.
ORBICROP_VECTOR_LOOP void CalibrateWords(std::uint8_t* __restrict samples, const float* __restrict offset,
                                         const float* __restrict gain, std::size_t count, float top)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::uint16_t raw;
        std::memcpy(&raw, samples + 2 * i, 2);
        float v = (float(raw) - offset[i]) * gain[i];
        v = v > 0.0f ? v : 0.0f;
        v = v < top ? v : top;
        const std::uint16_t out = std::uint16_t(std::int32_t(v + 0.5f));
        std::memcpy(samples + 2 * i, &out, 2);
    }
}

// The masters keep red first; a frame that keeps blue first gets each row
// of them turned round into scratch before its own row is worked.
const float* InFrameOrder(const float* rgb, std::vector<float>& scratch)
{
    for (std::size_t i = 0; i < scratch.size(); i += 3) {
        scratch[i] = rgb[i + 2];
        scratch[i + 1] = rgb[i + 1];
        scratch[i + 2] = rgb[i];
    }
    return scratch.data();
}

void CheckWhole(const Master& master)
{
    if (master.width <= 0 || master.height <= 0 || (master.planes != 1 && master.planes != 3)
        || master.values.size() != master.samples()) {
        throw std::invalid_argument("The " + std::string(NameOf(master.kind)) + " master holds no whole frame");
    }
}

void CheckAgree(const Master& first, const Master& other)
{
    if (other.width != first.width || other.height != first.height || other.planes != first.planes
        || (other.mosaic && first.mosaic && other.mosaic != first.mosaic)) {
        throw std::invalid_argument("The " + std::string(NameOf(other.kind)) + " master differs from the "
                                    + std::string(NameOf(first.kind)) + " master in size, colour planes or mosaic");
    }
}

// 1 / flat', the flat normalised to a mean of 1 in each of its site groups,
// so that dividing by it leaves every colour's level where it was.
std::vector<float> FlatGains(const Master& flat, bool mosaic)
{
    std::array<double, 4> sums{};
    std::array<double, 4> counts{};
    const auto groupOf = [&](std::int32_t x, std::int32_t y, std::int32_t p) {
        return std::size_t(detail::SiteGroupOf(flat.planes, mosaic, x, y, p));
    };
    std::size_t i = 0;
    for (std::int32_t y = 0; y < flat.height; ++y) {
        for (std::int32_t x = 0; x < flat.width; ++x) {
            for (std::int32_t p = 0; p < flat.planes; ++p, ++i) {
                sums[groupOf(x, y, p)] += double(flat.values[i]);
                counts[groupOf(x, y, p)] += 1.0;
            }
        }
    }
    std::vector<float> gains(flat.values.size(), 1.0f);
    i = 0;
    for (std::int32_t y = 0; y < flat.height; ++y) {
        for (std::int32_t x = 0; x < flat.width; ++x) {
            for (std::int32_t p = 0; p < flat.planes; ++p, ++i) {
                const std::size_t g = groupOf(x, y, p);
                const double mean = sums[g] / counts[g];
                const double value = double(flat.values[i]);
                // A vignetted corner the flat saw (almost) no light in would
                // blow noise up to full scale: it is left alone.
                if (mean > 0.0 && value > mean / 64.0) {
                    gains[i] = float(mean / value);
                }
            }
        }
    }
    return gains;
}

}   // namespace

Calibrator::Calibrator(const CalibrationMasters& masters, DefectMap defects) : m_defects(std::move(defects))
{
    const Master* first = nullptr;
    std::optional<BayerPattern> mosaic;
    for (const std::optional<Master>* master : {&masters.dark, &masters.flat, &masters.bias}) {
        if (!*master) {
            continue;
        }
        CheckWhole(**master);
        if (first != nullptr) {
            CheckAgree(*first, **master);
        } else {
            first = &**master;
        }
        mosaic = mosaic ? mosaic : (*master)->mosaic;
    }
    if (first != nullptr) {
        m_width = first->width;
        m_height = first->height;
        m_planes = first->planes;
    } else {
        m_width = m_defects.width;
        m_height = m_defects.height;
    }
    if (!m_defects.empty()) {
        detail::CheckDefectMap(m_defects, m_width, m_height);
    }
    const std::optional<Master>& offset = masters.dark ? masters.dark : masters.bias;
    if (offset) {
        m_offset = offset->values;
    }
    if (masters.flat) {
        m_gain = FlatGains(*masters.flat, mosaic.has_value());
    }
}

void Calibrator::apply(const SampleImage& frame) const
{
    // A map set since construction is held to the frame before the masters
    // change it: a refused frame is left as it came.
    if (!m_defects.empty()) {
        detail::CheckDefectMap(m_defects, frame.width, frame.height);
    }
    if (hasMasters()) {
        detail::CheckLayout(frame);
        if (frame.width != m_width || frame.height != m_height || frame.planes != m_planes) {
            throw std::invalid_argument("The frame's size or colour planes differ from the calibration masters'");
        }
        const std::size_t count = std::size_t(m_width) * std::size_t(m_planes);
        const float top = float((std::uint32_t(1) << frame.depth) - 1U);
        const std::vector<float> noOffset(m_offset.empty() ? count : 0, 0.0f);
        const std::vector<float> noGain(m_gain.empty() ? count : 0, 1.0f);
        const bool turned = frame.planes == 3 && frame.bgr;
        std::vector<float> offsetRow(turned ? count : 0);
        std::vector<float> gainRow(turned ? count : 0);
        const auto calibrate = frame.bytesPerSample == 1 ? &CalibrateBytes : &CalibrateWords;
        for (std::int32_t y = 0; y < m_height; ++y) {
            const std::size_t first = std::size_t(y) * count;
            const float* offset = m_offset.empty() ? noOffset.data() : m_offset.data() + first;
            const float* gain = m_gain.empty() ? noGain.data() : m_gain.data() + first;
            if (turned) {
                offset = InFrameOrder(offset, offsetRow);
                gain = InFrameOrder(gain, gainRow);
            }
            calibrate(frame.row(y), offset, gain, count, top);
        }
    }
    if (!m_defects.empty()) {
        RepairDefects(frame, m_defects);
    }
}

}   // namespace orbicrop::calibration
