// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/master.h"

#include "calibration/samples.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace orbicrop::calibration {

std::string_view NameOf(MasterKind kind)
{
    switch (kind) {
    case MasterKind::Dark: return "dark";
    case MasterKind::Flat: return "flat";
    case MasterKind::Bias: return "bias";
    }
    return "dark";
}

std::string_view ImageTypeOf(MasterKind kind)
{
    switch (kind) {
    case MasterKind::Dark: return "Master Dark";
    case MasterKind::Flat: return "Master Flat";
    case MasterKind::Bias: return "Master Bias";
    }
    return "Master Dark";
}

// Each pass sums every sample's values as differences from a centre: the
// first frame in the first pass, the pass before's clipped mean after it.
// The differences are small, so their squares keep the deviation exact where
// sums of raw squares would cancel, and the sums are doubles, which hold the
// totals of many thousands of 16-bit frames without losing a unit.
struct MasterCombiner::State {
    MasterKind kind;
    std::int32_t width;
    std::int32_t height;
    std::int32_t planes;
    std::int32_t passes;
    float kappa;
    std::int32_t pass = 0;
    std::int32_t frames = 0;       // of the first pass, once it ended
    std::int32_t passFrames = 0;   // of the pass under way
    std::vector<float> centre;
    std::vector<float> limit;   // kappa deviations around the centre; unused in the first pass
    std::vector<double> sum;
    std::vector<double> sumSquares;
    std::vector<std::uint32_t> kept;
    std::vector<float> row;

    void accumulateRow(std::size_t first, const float* values);
    void endPass();
};

void MasterCombiner::State::accumulateRow(std::size_t first, const float* values)
{
    const std::size_t count = row.size();
    const bool clipping = pass > 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = first + i;
        const double d = double(values[i]) - double(centre[at]);
        if (clipping && !(std::fabs(d) <= double(limit[at]))) {
            continue;
        }
        sum[at] += d;
        sumSquares[at] += d * d;
        ++kept[at];
    }
}

void MasterCombiner::State::endPass()
{
    for (std::size_t i = 0; i < centre.size(); ++i) {
        const std::uint32_t n = kept[i];
        if (n > 0) {
            const double mean = sum[i] / double(n);
            const double variance = n > 1 ? (sumSquares[i] - sum[i] * mean) / double(n - 1) : 0.0;
            centre[i] = float(double(centre[i]) + mean);
            limit[i] = float(double(kappa) * std::sqrt(std::max(variance, 0.0)));
        }
        sum[i] = 0.0;
        sumSquares[i] = 0.0;
        kept[i] = 0;
    }
    if (pass == 0) {
        frames = passFrames;
    }
    passFrames = 0;
    ++pass;
}

MasterCombiner::MasterCombiner(MasterKind kind, std::int32_t width, std::int32_t height, std::int32_t planes,
                               CombineMethod method, double kappa, std::int32_t clipPasses)
{
    if (width <= 0 || height <= 0 || (planes != 1 && planes != 3)) {
        throw std::invalid_argument("A master needs a frame size and 1 or 3 colour planes");
    }
    if (method == CombineMethod::SigmaClippedMean && (clipPasses < 0 || !(kappa > 0.0))) {
        throw std::invalid_argument("Sigma clipping needs a positive kappa and no negative number of passes");
    }
    const std::size_t samples = std::size_t(width) * std::size_t(height) * std::size_t(planes);
    m_state = std::make_shared<State>(State{
        .kind = kind,
        .width = width,
        .height = height,
        .planes = planes,
        .passes = method == CombineMethod::Mean ? 1 : 1 + clipPasses,
        .kappa = float(kappa),
        .centre = std::vector<float>(samples),
        .limit = std::vector<float>(samples),
        .sum = std::vector<double>(samples),
        .sumSquares = std::vector<double>(samples),
        .kept = std::vector<std::uint32_t>(samples),
        .row = std::vector<float>(std::size_t(width) * std::size_t(planes)),
    });
}

std::int32_t MasterCombiner::passes() const
{
    return m_state->passes;
}

void MasterCombiner::add(const ConstSampleImage& frame, const Master* offset)
{
    State& s = *m_state;
    if (s.pass >= s.passes) {
        throw std::logic_error("A frame was added to a master after its last pass");
    }
    detail::CheckLayout(frame);
    if (frame.width != s.width || frame.height != s.height || frame.planes != s.planes) {
        throw std::invalid_argument("The frame's size or colour planes differ from the master's");
    }
    if (offset != nullptr
        && (offset->width != s.width || offset->height != s.height || offset->planes != s.planes
            || offset->values.size() != s.centre.size())) {
        throw std::invalid_argument("The " + std::string(NameOf(offset->kind))
                                    + " master's size or colour planes differ from the frames'");
    }
    const std::size_t rowCount = s.row.size();
    for (std::int32_t y = 0; y < s.height; ++y) {
        const std::size_t first = std::size_t(y) * rowCount;
        detail::LoadRow(frame, y, s.row.data());
        if (offset != nullptr) {
            const float* o = offset->values.data() + first;
            for (std::size_t i = 0; i < rowCount; ++i) {
                s.row[i] -= o[i];
            }
        }
        if (s.pass == 0 && s.passFrames == 0) {
            std::copy(s.row.begin(), s.row.end(), s.centre.begin() + std::ptrdiff_t(first));
        }
        s.accumulateRow(first, s.row.data());
    }
    ++s.passFrames;
}

void MasterCombiner::endPass()
{
    if (m_state->pass >= m_state->passes) {
        throw std::logic_error("A master's pass was ended after its last one");
    }
    m_state->endPass();
}

std::int32_t MasterCombiner::frames() const
{
    return m_state->pass == 0 ? m_state->passFrames : m_state->frames;
}

Master MasterCombiner::master() const
{
    const State& s = *m_state;
    if (s.pass < s.passes) {
        throw std::logic_error("A master was taken before its last pass ended");
    }
    if (s.frames == 0) {
        throw std::runtime_error("There are no frames to make the " + std::string(NameOf(s.kind)) + " master of");
    }
    Master master;
    master.kind = s.kind;
    master.values = s.centre;
    master.width = s.width;
    master.height = s.height;
    master.planes = s.planes;
    master.combined = s.frames;
    return master;
}

}   // namespace orbicrop::calibration
