// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/hot_pixels.h"

#include "calibration/defect_map_check.h"
#include "calibration/samples.h"
#include "calibration/sites.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <type_traits>

namespace orbicrop::calibration {

namespace {

struct Step {
    std::int32_t dx;
    std::int32_t dy;
};
using Steps = std::array<Step, 8>;

// The nearest samples of a sample's own colour: the 8 around it in mono or
// RGB; in a mosaic red and blue sites repeat every 2 samples each way, and
// a green site has 4 more greens on its diagonals.
constexpr Steps kAround{{{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}};
constexpr Steps kRedBlueSites{{{-2, -2}, {0, -2}, {2, -2}, {-2, 0}, {2, 0}, {-2, 2}, {0, 2}, {2, 2}}};
constexpr Steps kGreenSites{{{-1, -1}, {1, -1}, {-1, 1}, {1, 1}, {0, -2}, {-2, 0}, {2, 0}, {0, 2}}};

// A deviation below half a step of the samples is the samples' rounding,
// not their noise: a dark or a frame that is mostly one value would else
// make every sample that differs by one a defect.
constexpr double kSmallestDeviation = 0.5;
// The residuals a frame's deviation is estimated from: enough for a MAD
// good to a percent or so, few enough to cost nothing beside the medians.
constexpr std::size_t kResidualsMeasured = std::size_t(1) << 16;

const Steps& NeighboursOf(const std::optional<BayerPattern>& mosaic, std::int32_t x, std::int32_t y)
{
    if (!mosaic) {
        return kAround;
    }
    return detail::ColourAt(*mosaic, x, y) == detail::SiteColour::Green ? kGreenSites : kRedBlueSites;
}

// The middle of 0 < n <= 8 values; of an even number, the mean of the two
// middle ones (rounded to the nearest for whole samples). An insertion sort:
// the fastest for so few, run for every sample of a frame.
template <typename T>
T MiddleOf(T* values, std::size_t n)
{
    for (std::size_t i = 1; i < n; ++i) {
        const T value = values[i];
        std::size_t j = i;
        for (; j > 0 && values[j - 1] > value; --j) {
            values[j] = values[j - 1];
        }
        values[j] = value;
    }
    if (n % 2 != 0) {
        return values[n / 2];
    }
    if constexpr (std::is_integral_v<T>) {
        return (values[n / 2 - 1] + values[n / 2] + 1) / 2;
    } else {
        return (values[n / 2 - 1] + values[n / 2]) / 2;
    }
}

// The median of the neighbours inside the frame that valueAt gives a value
// for; nothing when there is none.
template <typename T, typename ValueAt>
std::optional<T> NeighbourMedian(const Steps& steps, std::int32_t x, std::int32_t y, std::int32_t width,
                                 std::int32_t height, ValueAt valueAt)
{
    std::array<T, 8> found;
    std::size_t n = 0;
    for (const Step step : steps) {
        const std::int32_t nx = x + step.dx;
        const std::int32_t ny = y + step.dy;
        if (nx < 0 || ny < 0 || nx >= width || ny >= height) {
            continue;
        }
        if (const std::optional<T> value = valueAt(nx, ny)) {
            found[n++] = *value;
        }
    }
    if (n == 0) {
        return std::nullopt;
    }
    return MiddleOf(found.data(), n);
}

struct Spread {
    double median = 0.0;
    double deviation = kSmallestDeviation;   // 1.4826 x the median absolute deviation
};

// values are reordered.
Spread RobustSpread(std::vector<float>& values)
{
    if (values.empty()) {
        return {};
    }
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double median = double(*middle);
    for (float& value : values) {
        value = float(std::fabs(double(value) - median));
    }
    std::nth_element(values.begin(), middle, values.end());
    return {median, std::max(1.4826 * double(*middle), kSmallestDeviation)};
}

void CheckSize(std::int32_t width, std::int32_t height, std::int32_t planes, double sigmas)
{
    if (width <= 0 || height <= 0 || (planes != 1 && planes != 3)) {
        throw std::invalid_argument("Defects are sought in frames with a size and 1 or 3 colour planes");
    }
    if (!(sigmas > 0.0)) {
        throw std::invalid_argument("A defect stands out by a positive number of deviations");
    }
}

}   // namespace

DefectMap FindDefectsInDark(const Master& dark, double sigmas)
{
    CheckSize(dark.width, dark.height, dark.planes, sigmas);
    if (dark.values.size() != dark.samples()) {
        throw std::invalid_argument("The dark master holds no whole frame");
    }
    const bool mosaic = dark.mosaic.has_value() && dark.planes == 1;
    const auto groupOf = [&](std::int32_t x, std::int32_t y, std::int32_t p) {
        return std::size_t(detail::SiteGroupOf(dark.planes, mosaic, x, y, p));
    };
    std::vector<std::vector<float>> members(std::size_t(detail::SiteGroups(dark.planes, mosaic)));
    std::size_t i = 0;
    for (std::int32_t y = 0; y < dark.height; ++y) {
        for (std::int32_t x = 0; x < dark.width; ++x) {
            for (std::int32_t p = 0; p < dark.planes; ++p) {
                members[groupOf(x, y, p)].push_back(dark.values[i++]);
            }
        }
    }
    std::vector<Spread> spreads;
    for (std::vector<float>& group : members) {
        spreads.push_back(RobustSpread(group));
    }
    DefectMap map;
    map.width = dark.width;
    map.height = dark.height;
    i = 0;
    for (std::int32_t y = 0; y < dark.height; ++y) {
        for (std::int32_t x = 0; x < dark.width; ++x) {
            bool hot = false;
            bool cold = false;
            for (std::int32_t p = 0; p < dark.planes; ++p) {
                const Spread& spread = spreads[groupOf(x, y, p)];
                const double away = double(dark.values[i++]) - spread.median;
                hot = hot || away > sigmas * spread.deviation;
                cold = cold || away < -sigmas * spread.deviation;
            }
            const std::uint32_t at = std::uint32_t(y) * std::uint32_t(dark.width) + std::uint32_t(x);
            if (hot) {
                map.hot.push_back(at);
            } else if (cold) {
                map.cold.push_back(at);
            }
        }
    }
    return map;
}

struct DefectVoter::State {
    std::int32_t width;
    std::int32_t height;
    std::int32_t planes;
    std::optional<BayerPattern> mosaic;   // only with one plane
    double sigmas;
    std::int32_t frames = 0;
    std::vector<float> values;   // the frame, red, green, blue
    std::vector<float> residuals;
    std::vector<float> measured;
    std::vector<std::uint32_t> hotVotes;   // a pixel
    std::vector<std::uint32_t> coldVotes;

    void findResiduals();
    void vote(const Spread& spread);
};

// Each sample less the median of its nearest neighbours of its colour.
void DefectVoter::State::findResiduals()
{
    std::size_t i = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const Steps& steps = NeighboursOf(mosaic, x, y);
            for (std::int32_t p = 0; p < planes; ++p, ++i) {
                const auto valueAt = [&](std::int32_t nx, std::int32_t ny) {
                    return std::optional<float>(
                        values[(std::size_t(ny) * std::size_t(width) + std::size_t(nx)) * std::size_t(planes)
                               + std::size_t(p)]);
                };
                const std::optional<float> median = NeighbourMedian<float>(steps, x, y, width, height, valueAt);
                residuals[i] = median ? values[i] - *median : 0.0f;
            }
        }
    }
}

void DefectVoter::State::vote(const Spread& spread)
{
    const double limit = sigmas * spread.deviation;
    const std::size_t pixels = hotVotes.size();
    for (std::size_t pixel = 0; pixel < pixels; ++pixel) {
        bool hot = false;
        bool cold = false;
        for (std::int32_t p = 0; p < planes; ++p) {
            const double away = double(residuals[pixel * std::size_t(planes) + std::size_t(p)]) - spread.median;
            hot = hot || away > limit;
            cold = cold || away < -limit;
        }
        hotVotes[pixel] += hot ? 1U : 0U;
        coldVotes[pixel] += !hot && cold ? 1U : 0U;
    }
}

DefectVoter::DefectVoter(std::int32_t width, std::int32_t height, std::int32_t planes,
                         std::optional<BayerPattern> mosaic, double sigmas)
{
    CheckSize(width, height, planes, sigmas);
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    m_state = std::make_shared<State>(State{
        .width = width,
        .height = height,
        .planes = planes,
        .mosaic = planes == 1 ? mosaic : std::nullopt,
        .sigmas = sigmas,
        .values = std::vector<float>(pixels * std::size_t(planes)),
        .residuals = std::vector<float>(pixels * std::size_t(planes)),
        .measured = {},
        .hotVotes = std::vector<std::uint32_t>(pixels),
        .coldVotes = std::vector<std::uint32_t>(pixels),
    });
}

void DefectVoter::add(const ConstSampleImage& frame)
{
    State& s = *m_state;
    detail::CheckLayout(frame);
    if (frame.width != s.width || frame.height != s.height || frame.planes != s.planes) {
        throw std::invalid_argument("The frame's size or colour planes differ from the others sought for defects");
    }
    const std::size_t rowCount = std::size_t(s.width) * std::size_t(s.planes);
    for (std::int32_t y = 0; y < s.height; ++y) {
        detail::LoadRow(frame, y, s.values.data() + std::size_t(y) * rowCount);
    }
    s.findResiduals();
    // An odd step, so that the residuals measured fall on every site of a mosaic.
    const std::size_t step = std::max<std::size_t>(1, s.residuals.size() / kResidualsMeasured) | 1U;
    s.measured.clear();
    for (std::size_t i = 0; i < s.residuals.size(); i += step) {
        s.measured.push_back(s.residuals[i]);
    }
    s.vote(RobustSpread(s.measured));
    ++s.frames;
}

std::int32_t DefectVoter::frames() const
{
    return m_state->frames;
}

DefectMap DefectVoter::defects() const
{
    const State& s = *m_state;
    DefectMap map;
    map.width = s.width;
    map.height = s.height;
    const std::uint64_t frames = std::uint64_t(s.frames);
    for (std::size_t pixel = 0; pixel < s.hotVotes.size(); ++pixel) {
        if (2 * std::uint64_t(s.hotVotes[pixel]) > frames) {
            map.hot.push_back(std::uint32_t(pixel));
        } else if (2 * std::uint64_t(s.coldVotes[pixel]) > frames) {
            map.cold.push_back(std::uint32_t(pixel));
        }
    }
    return map;
}

void RepairDefects(const SampleImage& frame, const DefectMap& map)
{
    if (map.empty()) {
        return;
    }
    detail::CheckLayout(frame);
    detail::CheckDefectMap(map, frame.width, frame.height);
    std::vector<std::uint8_t> isDefect(std::size_t(frame.width) * std::size_t(frame.height));
    for (const std::vector<std::uint32_t>* list : {&map.hot, &map.cold}) {
        for (const std::uint32_t at : *list) {
            isDefect[at] = 1;
        }
    }
    const std::optional<BayerPattern> mosaic = frame.planes == 1 ? frame.mosaic : std::nullopt;
    for (const std::vector<std::uint32_t>* list : {&map.hot, &map.cold}) {
        for (const std::uint32_t at : *list) {
            const std::int32_t x = std::int32_t(at % std::uint32_t(frame.width));
            const std::int32_t y = std::int32_t(at / std::uint32_t(frame.width));
            for (std::int32_t p = 0; p < frame.planes; ++p) {
                const auto valueAt = [&](std::int32_t nx, std::int32_t ny) -> std::optional<std::uint32_t> {
                    if (isDefect[std::size_t(ny) * std::size_t(frame.width) + std::size_t(nx)] != 0) {
                        return std::nullopt;
                    }
                    return detail::LoadSample(frame, nx, ny, p);
                };
                const auto median = NeighbourMedian<std::uint32_t>(NeighboursOf(mosaic, x, y), x, y, frame.width,
                                                                   frame.height, valueAt);
                if (median) {
                    detail::StoreSample(frame, x, y, p, *median);
                }
            }
        }
    }
}

}   // namespace orbicrop::calibration
