// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/limb_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace {

// Bilinear reads of the detection byte, pixel centres at whole coordinates;
// points are kept inside the frame by the caller's clamping.
class Sampler {
public:
    explicit Sampler(const FrameView& frame)
        : frame_(frame), offset_(frame.greenOffset()), lastX_(double(frame.width - 1)), lastY_(double(frame.height - 1))
    {}

    double at(double x, double y) const
    {
        x = std::clamp(x, 0.0, lastX_);
        y = std::clamp(y, 0.0, lastY_);
        const auto x0 = std::int32_t(x), y0 = std::int32_t(y);
        const std::int32_t x1 = std::min(x0 + 1, frame_.width - 1), y1 = std::min(y0 + 1, frame_.height - 1);
        const double fx = x - double(x0), fy = y - double(y0);
        const auto value = [&](std::int32_t px, std::int32_t py) {
            return double(frame_.row(py)[std::ptrdiff_t(px) * frame_.bytesPerPixel + offset_]);
        };
        const double bottom = value(x0, y0) + fx * (value(x1, y0) - value(x0, y0));
        const double top = value(x0, y1) + fx * (value(x1, y1) - value(x0, y1));
        return bottom + fy * (top - bottom);
    }

    // Whether (x, y) lies within the frame's pixel centres.
    bool inside(double x, double y) const { return x >= 0.0 && y >= 0.0 && x <= lastX_ && y <= lastY_; }

    // How far a ray from (x, y) in direction (dx, dy) stays inside the frame.
    double exit(double x, double y, double dx, double dy) const
    {
        double t = 1e30;
        const auto limit = [&t](double p, double d, double last) {
            if (d > 1e-12)
                t = std::min(t, (last - p) / d);
            else if (d < -1e-12)
                t = std::min(t, -p / d);
        };
        limit(x, dx, lastX_);
        limit(y, dy, lastY_);
        return std::max(t, 0.0);
    }

private:
    FrameView frame_;
    std::int32_t offset_;
    double lastX_;
    double lastY_;
};

struct Point {
    double x;
    double y;
    // The edge's height: faint edges (a crescent's horns) count for less.
    double weight = 1.0;
    // The blur of the fall, from the step fitted to it.
    double sigma = 0.0;
};

double Distance(double dx, double dy)
{
    return std::sqrt(dx * dx + dy * dy);
}

struct Circle {
    double x;
    double y;
    double r;
};

struct Levels {
    double sky;
    double split;
};

struct RayPlan {
    double x, y, reach;
    std::int32_t count;

    Point direction(std::int32_t ray) const
    {
        const double angle = 2.0 * std::numbers::pi * double(ray) / double(count);
        return {std::cos(angle), std::sin(angle)};
    }
    // The ray's last point inside both the reach and the frame.
    double end(const Sampler& sampler, Point d) const { return std::min(reach, sampler.exit(x, y, d.x, d.y)); }
};

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    const auto k = std::size_t(fraction * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

// The sky from the rays' far ends; with no threshold given, the split is a
// quarter of the way from the sky to the object's bright end.
std::optional<Levels> FindLevels(const Sampler& sampler, const RayPlan& plan, double threshold)
{
    std::vector<double> ends, along;
    for (std::int32_t ray = 0; ray < plan.count; ++ray) {
        const Point d = plan.direction(ray);
        const double end = plan.end(sampler, d);
        ends.push_back(sampler.at(plan.x + end * d.x, plan.y + end * d.y));
        for (std::int32_t k = 0; k < 8; ++k) {
            const double t = end * double(k) / 8.0;
            along.push_back(sampler.at(plan.x + t * d.x, plan.y + t * d.y));
        }
    }
    const double sky = Percentile(ends, 0.5);
    if (threshold > sky + 1.0)
        return Levels{sky, threshold};
    const double top = Percentile(along, 0.98);
    if (top - sky < 8.0)
        return std::nullopt;
    return Levels{sky, sky + 0.25 * (top - sky)};
}

// The fall's profile around a crossing, every half pixel along the ray.
constexpr std::int32_t kHalfWindow = 20;
constexpr double kStep = 0.5;
using Profile = std::array<double, 2 * kHalfWindow + 1>;

double MeanOver(const Profile& p, double from, double to)
{
    double sum = 0.0;
    std::int32_t n = 0;
    for (std::int32_t k = 0; k < std::int32_t(p.size()); ++k) {
        const double t = double(k - kHalfWindow) * kStep;
        if (t >= from && t <= to) {
            sum += p[std::size_t(k)];
            ++n;
        }
    }
    return sum / double(std::max(n, 1));
}

// Whether the object is still bright a limb's width inside the edge: a lit
// sliver narrower than the seeing (a crescent's horn) blurs into a fall that
// lies outside the true limb.
bool BrightInside(const Profile& p, double edge, double width, double outside)
{
    const auto index = [](double t) { return std::size_t(std::lround(t / kStep)) + std::size_t(kHalfWindow); };
    const std::size_t deep = index(std::max(edge - width, -double(kHalfWindow) * kStep));
    const double peak =
        *std::max_element(p.begin() + std::ptrdiff_t(deep), p.begin() + std::ptrdiff_t(index(edge)) + 1);
    return p[deep] - outside >= 0.5 * (peak - outside);
}

// The slope of the fall at profile index k, per pixel, over two pixels so
// that the sky's noise does not choose the steepest point.
double FallAt(const Profile& p, std::int32_t k)
{
    return 0.5 * (p[std::size_t(k - 2)] - p[std::size_t(k + 2)]);
}

// How far the profile takes, from the edge at index k, to fall from 80 % to
// 20 % of the way between the object's and the sky's level beside it.
double FallWidth(const Profile& p, std::int32_t k, double inside, double outside)
{
    const double high = outside + 0.8 * (inside - outside), low = outside + 0.2 * (inside - outside);
    std::int32_t in = k, out = k;
    while (in > 0 && p[std::size_t(in)] < high)
        --in;
    while (out + 1 < std::int32_t(p.size()) && p[std::size_t(out)] > low)
        ++out;
    return double(out - in) * kStep;
}

struct Fall {
    double edge;
    double inside;
    double outside;
    double steepness;
};

// The steepest fall near the crossing at t = 0 (parabolic peak of the slope),
// kept when it is narrow enough for a limb, has sky beyond it and the
// object's full level behind it.
std::optional<Fall> SteepestFall(const Profile& p, const Levels& levels, double maxWidth)
{
    std::int32_t best = -1;
    double steepest = 0.0;
    for (std::int32_t k = kHalfWindow - 6; k <= kHalfWindow + 6; ++k) {
        if (FallAt(p, k) > steepest) {
            steepest = FallAt(p, k);
            best = k;
        }
    }
    if (best < 0)
        return std::nullopt;
    const double before = FallAt(p, best - 1), after = FallAt(p, best + 1);
    const double curve = before - 2.0 * steepest + after;
    const double shift = curve < 0.0 ? std::clamp(0.5 * (before - after) / curve, -0.5, 0.5) : 0.0;
    const double edge = (double(best - kHalfWindow) + shift) * kStep;
    const double outside = MeanOver(p, edge + 3.0, edge + 6.0);
    const double inside = MeanOver(p, edge - 6.0, edge - 3.0);
    if (outside >= levels.split || inside - outside < 0.5 * (levels.split - levels.sky)
        || FallWidth(p, best, inside, outside) > maxWidth || !BrightInside(p, edge, maxWidth, outside))
        return std::nullopt;
    return Fall{edge, inside, outside, steepest};
}

// A blurred limb as seen along a ray: the sky outside the edge; inside it
// the object, at `height` over the sky at the edge and changing by `slope`
// per pixel toward it, down to the sky where a rising ramp started (a
// crescent's terminator); all blurred by a Gaussian of width sigma. A bright
// rim or a thin crescent drags the steepest point of the fall outward, more
// toward the horns; fitting the ramp keeps the edge in place.
struct StepModel {
    double sky, height, slope, edge, sigma;

    static constexpr std::size_t kParameters = 5;
    using Vector = std::array<double, kParameters>;

    double value(double t, Vector* gradient) const
    {
        const Ramp limb = RampAt(edge, t);
        double v = sky + height * limb.below - slope * sigma * limb.ramp;
        const double alongZ = height * limb.density - slope * sigma * limb.below;
        Vector g{1.0, limb.below, -sigma * limb.ramp, alongZ / sigma, -limb.z / sigma * alongZ - slope * limb.ramp};
        // The ramp's start: the linear inside profile minus its part beyond
        // the point where it reaches the sky.
        if (slope > 1e-9) {
            const Ramp start = RampAt(edge - height / slope, t);
            v += slope * sigma * start.ramp;
            const Vector more{0.0, -start.below, sigma * start.ramp + height / slope * start.below, slope * start.below,
                              slope * start.density};
            for (std::size_t k = 0; k < g.size(); ++k)
                g[k] += more[k];
        }
        if (gradient != nullptr)
            *gradient = g;
        return v;
    }

private:
    // A unit step at `at` blurred, and the blurred ramp (at - u) below it,
    // both in sigmas, seen from t.
    struct Ramp {
        double z, density, below, ramp;
    };
    Ramp RampAt(double at, double t) const
    {
        const double z = (at - t) / sigma;
        const double density = std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi);
        const double below = 0.5 * std::erfc(-z / std::sqrt(2.0));
        return {z, density, below, density + z * below};
    }

public:
    void add(const Vector& step, double scale)
    {
        sky += scale * step[0];
        height += scale * step[1];
        slope += scale * step[2];
        edge += scale * step[3];
        sigma += scale * step[4];
    }
};

struct Sample {
    double t;
    double value;
};

double SquaredError(const StepModel& m, const std::vector<Sample>& samples)
{
    double sum = 0.0;
    for (const Sample s : samples)
        sum += std::pow(s.value - m.value(s.t, nullptr), 2);
    return sum;
}

// Solves m x = v by Gaussian elimination with partial pivoting.
template <std::size_t N>
std::optional<std::array<double, N>> SolveLinear(std::array<std::array<double, N>, N> m, std::array<double, N> v)
{
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < N; ++row)
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col]))
                pivot = row;
        if (std::fabs(m[pivot][col]) < 1e-12)
            return std::nullopt;
        std::swap(m[col], m[pivot]);
        std::swap(v[col], v[pivot]);
        for (std::size_t row = col + 1; row < N; ++row) {
            const double f = m[row][col] / m[col][col];
            for (std::size_t k = col; k < N; ++k)
                m[row][k] -= f * m[col][k];
            v[row] -= f * v[col];
        }
    }
    std::array<double, N> x{};
    for (std::size_t col = N; col-- > 0;) {
        double sum = v[col];
        for (std::size_t k = col + 1; k < N; ++k)
            sum -= m[col][k] * x[k];
        x[col] = sum / m[col][col];
    }
    return x;
}

// Levenberg-Marquardt from a start near the answer, the sky (known from the
// whole frame) and, when fixed, sigma held; empty when the fit runs off.
std::optional<StepModel> FitStep(StepModel m, const std::vector<Sample>& samples, bool fixedSigma)
{
    double error = SquaredError(m, samples), damping = 1e-3;
    for (std::int32_t iteration = 0; iteration < 30; ++iteration) {
        std::array<std::array<double, StepModel::kParameters>, StepModel::kParameters> normal{};
        StepModel::Vector rhs{}, j{};
        for (const Sample s : samples) {
            const double r = s.value - m.value(s.t, &j);
            for (std::size_t a = 0; a < j.size(); ++a) {
                for (std::size_t b = 0; b < j.size(); ++b)
                    normal[a][b] += j[a] * j[b];
                rhs[a] += j[a] * r;
            }
        }
        for (std::size_t a = 0; a < j.size(); ++a)
            normal[a][a] *= 1.0 + damping;
        for (std::size_t k = 0; k < j.size(); ++k) {
            if (k == 0 || (fixedSigma && k == 4)) {
                for (std::size_t a = 0; a < j.size(); ++a)
                    normal[a][k] = normal[k][a] = 0.0;
                normal[k][k] = 1.0;
                rhs[k] = 0.0;
            }
        }
        const auto step = SolveLinear(normal, rhs);
        if (!step)
            return std::nullopt;
        StepModel next = m;
        next.add(*step, 1.0);
        const double nextError = next.sigma > 0.2 ? SquaredError(next, samples) : 1e300;
        if (nextError < error) {
            const bool settled = std::fabs((*step)[3]) < 1e-3 && std::fabs((*step)[4]) < 1e-3;
            m = next;
            error = nextError;
            damping = std::max(damping * 0.3, 1e-6);
            if (settled)
                break;
        } else {
            damping *= 10.0;
            if (damping > 1e6)
                break;
        }
    }
    return m;
}

// A Gaussian blur's fall from 80 % to 20 % of a step spans this many sigmas.
constexpr double kWidthPerSigma = 1.683;
// Half the width of the strip of pixels a fall is fitted to.
constexpr double kStripHalfWidth = 1.0;

// The pixels in a strip along the ray, from `inward` inside the fall at
// `edge` to `outward` beyond it, each at its distance along the ray from
// the edge. Whole pixels, not interpolated values: interpolation between
// pixel centres flattens a thin crescent's peak by an amount that changes
// with the ray's angle, and the fit would follow it.
std::vector<Sample> StripAlong(const Sampler& sampler, const RayPlan& plan, Point d, double edge, double inward,
                               double outward)
{
    const double fromX = plan.x + (edge - inward) * d.x, toX = plan.x + (edge + outward) * d.x;
    const double fromY = plan.y + (edge - inward) * d.y, toY = plan.y + (edge + outward) * d.y;
    std::vector<Sample> samples;
    for (double y = std::ceil(std::min(fromY, toY) - kStripHalfWidth); y <= std::max(fromY, toY) + kStripHalfWidth;
         y += 1.0) {
        for (double x = std::ceil(std::min(fromX, toX) - kStripHalfWidth); x <= std::max(fromX, toX) + kStripHalfWidth;
             x += 1.0) {
            const double along = (x - plan.x) * d.x + (y - plan.y) * d.y - edge;
            const double across = (y - plan.y) * d.x - (x - plan.x) * d.y;
            if (std::fabs(across) <= kStripHalfWidth && along >= -inward && along <= outward && sampler.inside(x, y))
                samples.push_back({along, sampler.at(x, y)});
        }
    }
    return samples;
}

// The step model fitted to the pixels around the steepest fall at `edge`:
// a few sigmas inside (not as far as a crescent's terminator) and out into
// the sky. Empty when the fitted edge wanders off the fall.
std::optional<StepModel> FitFall(const Sampler& sampler, const RayPlan& plan, Point d, double edge, const Fall& fall,
                                 double seeing, double sky)
{
    const double height = fall.inside - fall.outside;
    const double sigma =
        seeing > 0.0 ? seeing : std::clamp(height / (fall.steepness * std::sqrt(2.0 * std::numbers::pi)), 0.5, 5.0);
    const double inward = std::clamp(3.0 * sigma, 3.0, 8.0), outward = std::clamp(4.0 * sigma, 4.0, 10.0);
    const auto samples = StripAlong(sampler, plan, d, edge, inward, outward);
    // Started on a ramp rising over the whole window: a thin crescent's ramp
    // is not found from a flat top, and a flat top is found from a ramp.
    const auto m = FitStep({sky, fall.inside - sky, height / inward, 0.0, sigma}, samples, seeing > 0.0);
    if (!m || std::fabs(m->edge) > 2.0)
        return std::nullopt;
    StepModel placed = *m;
    placed.edge += edge;
    return placed;
}

// The outermost fall from object to sky along one ray, walking in from the
// far end; a ray that ends on the object (the limb hidden) gives none.
std::optional<Point> LimbOnRay(const Sampler& sampler, const RayPlan& plan, Point d, const Levels& levels,
                               double maxWidth, double seeing)
{
    const auto at = [&](double t) { return sampler.at(plan.x + t * d.x, plan.y + t * d.y); };
    const double end = plan.end(sampler, d);
    if (at(end) >= levels.split)
        return std::nullopt;
    double crossing = -1.0;
    for (double t = std::floor(end) - 1.0; t >= 0.0; t -= 1.0) {
        // Two points above the split, so that one noisy pixel is not an edge.
        if (at(t) > levels.split && at(t + 0.5) > levels.split) {
            crossing = t + 0.5;
            break;
        }
    }
    if (crossing < 0.0)
        return std::nullopt;
    // Averaged over two pixels along the ray, so that the sky's noise
    // neither picks the steepest point nor narrows a gradual fall.
    std::array<double, std::tuple_size_v<Profile> + 4> raw{};
    for (std::int32_t k = 0; k < std::int32_t(raw.size()); ++k)
        raw[std::size_t(k)] = at(crossing + double(k - kHalfWindow - 2) * kStep);
    Profile profile;
    for (std::size_t k = 0; k < profile.size(); ++k)
        profile[k] = (raw[k] + raw[k + 1] + raw[k + 2] + raw[k + 3] + raw[k + 4]) / 5.0;
    const auto fall = SteepestFall(profile, levels, maxWidth);
    if (!fall)
        return std::nullopt;
    const auto step = FitFall(sampler, plan, d, crossing + fall->edge, *fall, seeing, levels.sky);
    if (!step || kWidthPerSigma * step->sigma > maxWidth || step->height < 0.5 * (levels.split - levels.sky))
        return std::nullopt;
    return Point{plan.x + step->edge * d.x, plan.y + step->edge * d.y, step->height, step->sigma};
}

std::optional<Circle> CircleThrough(Point a, Point b, Point c)
{
    const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
    const double det = 2.0 * (bx * cy - by * cx);
    if (std::fabs(det) < 1e-9)
        return std::nullopt;
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    const double ux = (cy * b2 - by * c2) / det, uy = (bx * c2 - cx * b2) / det;
    return Circle{a.x + ux, a.y + uy, Distance(ux, uy)};
}

double Residual(const Circle& c, Point p)
{
    return Distance(p.x - c.x, p.y - c.y) - c.r;
}

// The circle through three edge points that the most points lie near.
// Seeded, so the same frame always gives the same fit.
std::optional<Circle> Consensus(const std::vector<Point>& points, double tolerance, double minR, double maxR)
{
    std::minstd_rand random(12345u);
    std::uniform_int_distribution<std::size_t> pick(0, points.size() - 1);
    std::optional<Circle> best;
    double bestSupport = 0.0;
    for (std::int32_t trial = 0; trial < 200; ++trial) {
        const auto c = CircleThrough(points[pick(random)], points[pick(random)], points[pick(random)]);
        if (!c || c->r < minR || c->r > maxR)
            continue;
        double support = 0.0;
        for (const Point p : points)
            support += std::fabs(Residual(*c, p)) <= tolerance ? p.weight : 0.0;
        if (support > bestSupport) {
            bestSupport = support;
            best = c;
        }
    }
    return best;
}

// Solves the 3 x 3 system m x = v in place by Cramer's rule.
std::optional<std::array<double, 3>> Solve3(const std::array<std::array<double, 3>, 3>& m,
                                            const std::array<double, 3>& v)
{
    const auto det = [](const std::array<std::array<double, 3>, 3>& a) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
            + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    if (std::fabs(d) < 1e-12)
        return std::nullopt;
    std::array<double, 3> x{};
    for (std::size_t col = 0; col < 3; ++col) {
        auto a = m;
        for (std::size_t row = 0; row < 3; ++row)
            a[row][col] = v[row];
        x[col] = det(a) / d;
    }
    return x;
}

double TukeyWeight(double r, double c)
{
    const double u = r / c;
    return std::fabs(u) >= 1.0 ? 0.0 : (1.0 - u * u) * (1.0 - u * u);
}

// One Gauss-Newton step of the geometric fit, each point weighted by
// Tukey's biweight of its distance from the circle; with fixedRadius only
// the centre moves.
std::optional<Circle> ReweightedStep(const std::vector<Point>& points, const Circle& c, double cut, bool fixedRadius)
{
    std::array<std::array<double, 3>, 3> m{};
    std::array<double, 3> v{};
    for (const Point p : points) {
        const double dist = Distance(p.x - c.x, p.y - c.y);
        const double w = p.weight * TukeyWeight(dist - c.r, cut);
        if (w <= 0.0 || dist < 1e-9)
            continue;
        // d(residual) / d(cx, cy, r)
        const std::array<double, 3> j{-(p.x - c.x) / dist, -(p.y - c.y) / dist, -1.0};
        for (std::size_t a = 0; a < 3; ++a) {
            for (std::size_t b = 0; b < 3; ++b)
                m[a][b] += w * j[a] * j[b];
            v[a] -= w * j[a] * (dist - c.r);
        }
    }
    if (fixedRadius) {
        m[0][2] = m[1][2] = m[2][0] = m[2][1] = 0.0;
        m[2][2] = 1.0;
        v[2] = 0.0;
    }
    const auto step = Solve3(m, v);
    if (!step)
        return std::nullopt;
    return Circle{c.x + (*step)[0], c.y + (*step)[1], c.r + (*step)[2]};
}

// The Tukey cut from the spread of the points near the circle, so the
// terminator's points do not widen it.
double RobustCut(const std::vector<Point>& points, const Circle& c, double tolerance)
{
    std::vector<double> near;
    for (const Point p : points) {
        const double r = std::fabs(Residual(c, p));
        if (r <= 2.0 * tolerance)
            near.push_back(r);
    }
    const double spread = 1.4826 * Percentile(near, 0.5);
    return std::clamp(4.685 * spread, tolerance, 3.0 * tolerance);
}

// The widest angle, seen from the circle's centre, that the kept points span.
double AngularSpan(std::vector<double>& angles)
{
    if (angles.size() < 2)
        return 0.0;
    std::sort(angles.begin(), angles.end());
    double gap = angles.front() + 2.0 * std::numbers::pi - angles.back();
    for (std::size_t k = 1; k < angles.size(); ++k)
        gap = std::max(gap, angles[k] - angles[k - 1]);
    return 2.0 * std::numbers::pi - gap;
}

// The refined circle with its support, or nothing when too few points, too
// small a share of them or too short an arc carry it.
std::optional<LimbFit> Refine(const std::vector<Point>& points, Circle c, double tolerance, bool fixedRadius)
{
    double cut = RobustCut(points, c, tolerance);
    for (std::int32_t iteration = 0; iteration < 20; ++iteration) {
        const auto next = ReweightedStep(points, c, cut, fixedRadius);
        if (!next || !(next->r > 0.0))
            return std::nullopt;
        const double moved = Distance(next->x - c.x, next->y - c.y) + std::fabs(next->r - c.r);
        c = *next;
        cut = RobustCut(points, c, tolerance);
        if (moved < 1e-4)
            break;
    }
    double squares = 0.0;
    std::vector<double> angles;
    for (const Point p : points) {
        const double r = Residual(c, p);
        if (std::fabs(r) >= cut)
            continue;
        squares += r * r;
        angles.push_back(std::atan2(p.y - c.y, p.x - c.x) + std::numbers::pi);
    }
    const auto kept = std::int32_t(angles.size());
    if (kept < 12 || 4 * std::size_t(kept) < points.size() || AngularSpan(angles) < std::numbers::pi / 3.0)
        return std::nullopt;
    return LimbFit{c.x, c.y, c.r, kept, std::sqrt(squares / double(kept))};
}

// The circle through the limb points that rays from the plan's centre find,
// with a radius between a tenth and three times the rays' reach.
std::optional<LimbFit> FitFrom(const Sampler& sampler, const RayPlan& plan, const Levels& levels, double maxWidth,
                               double tolerance, bool fullHeightOnly, std::optional<double> radius)
{
    // The blur the falls share is measured on every third ray of a dense
    // plan: a median needs no more, and each free fit costs a few more rounds.
    const auto limb = [&](double seeing) {
        std::vector<Point> points;
        const std::int32_t every = seeing > 0.0 || plan.count < 180 ? 1 : 3;
        for (std::int32_t ray = 0; ray < plan.count; ray += every) {
            if (const auto p = LimbOnRay(sampler, plan, plan.direction(ray), levels, maxWidth, seeing))
                points.push_back(*p);
        }
        return points;
    };
    std::vector<Point> points = limb(0.0);
    if (points.size() < 8)
        return std::nullopt;
    std::vector<double> sigmas;
    for (const Point p : points)
        sigmas.push_back(p.sigma);
    points = limb(Percentile(sigmas, 0.5));
    if (points.size() < 12)
        return std::nullopt;
    // A horn thinner than the seeing is dimmed by it, and its blurred fall
    // lies outside the limb: only falls near the limb's full height count.
    std::vector<double> heights;
    for (const Point p : points)
        heights.push_back(p.weight);
    const double full = Percentile(heights, 0.9);
    if (fullHeightOnly)
        std::erase_if(points, [full](Point p) { return p.weight < 0.7 * full; });
    if (points.size() < 12)
        return std::nullopt;
    const double extent = plan.reach;
    auto seed = Consensus(points, tolerance, std::max(3.0, 0.1 * extent), 3.0 * extent + 8.0);
    if (!seed)
        return std::nullopt;
    if (radius)
        seed->r = *radius;
    return Refine(points, *seed, tolerance, radius.has_value());
}

}   // namespace

std::optional<LimbFit> FitLimb(const FrameView& frame, const LimbHint& hint)
{
    const double extent = std::max(hint.radiusX, hint.radiusY);
    if (frame.data == nullptr || frame.width < 2 || frame.height < 2 || hint.rays < 12 || !(extent >= 0.0))
        return std::nullopt;
    const Sampler sampler(frame);
    // A crescent's centre of gravity lies well inside the disc, off its
    // centre; its farthest limb is within 1.5 extents of it.
    const RayPlan plan{hint.centerX, hint.centerY, 1.5 * extent + 8.0, std::max(hint.rays / 3, 12)};
    const auto levels = FindLevels(sampler, plan, hint.threshold);
    if (!levels)
        return std::nullopt;
    const double tolerance = std::max(1.0, 0.01 * extent);
    const auto first = FitFrom(sampler, plan, *levels, hint.maxEdgeWidth, tolerance, false, std::nullopt);
    if (!first)
        return std::nullopt;
    // Again from the disc's centre: rays from a crescent's centre of gravity
    // cross the limb aslant and graze it toward the horns, where the lit
    // limb's shading changes fastest; rays along the disc's radii cross it
    // square over its whole lit arc.
    const RayPlan radial{first->centerX, first->centerY, 1.2 * first->radius + 8.0, hint.rays};
    const auto second = FitFrom(sampler, radial, *levels, hint.maxEdgeWidth, tolerance, true, hint.radius);
    // The first round alone is not trusted: rays aslant to the limb place it
    // pixels off on a crescent.
    return second;
}
