// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface/phase_correlation.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>

namespace {

// FFTW's planner keeps process-wide tables: plans may be made and destroyed
// by one thread at a time, however many files a batch runs at once.
// Executing a plan needs no lock.
std::mutex& PlannerMutex()
{
    static std::mutex planner;
    return planner;
}

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
struct PlanDestroy {
    void operator()(fftw_plan_s* p) const
    {
        const std::lock_guard lock(PlannerMutex());
        fftw_destroy_plan(p);
    }
};
using RealBuffer = std::unique_ptr<double[], FftwFree>;
using ComplexBuffer = std::unique_ptr<fftw_complex[], FftwFree>;
using Plan = std::unique_ptr<fftw_plan_s, PlanDestroy>;

template <typename T>
std::unique_ptr<T[], FftwFree> Allocate(std::size_t count)
{
    auto* p = static_cast<T*>(fftw_malloc(sizeof(T) * count));
    if (p == nullptr)
        throw std::bad_alloc();
    return std::unique_ptr<T[], FftwFree>(p);
}

constexpr std::int32_t kMaxSquare = 512;
constexpr std::int32_t kMinSquare = 32;

}   // namespace

std::int32_t AlignmentSquareFor(std::int32_t width, std::int32_t height)
{
    const std::int32_t side = std::min({width, height, kMaxSquare});
    if (side < kMinSquare)
        return 0;
    std::int32_t square = kMinSquare;
    while (square * 2 <= side)
        square *= 2;
    return square;
}

struct PhaseCorrelation::Buffers {
    Buffers(std::int32_t n, std::size_t bins)
        : spatial(Allocate<double>(std::size_t(n) * std::size_t(n))), spectrum(Allocate<fftw_complex>(bins)),
          reference(Allocate<fftw_complex>(bins))
    {
        {
            const std::lock_guard lock(PlannerMutex());
            forward.reset(fftw_plan_dft_r2c_2d(n, n, spatial.get(), spectrum.get(), FFTW_ESTIMATE));
            inverse.reset(fftw_plan_dft_c2r_2d(n, n, spectrum.get(), spatial.get(), FFTW_ESTIMATE));
        }
        if (!forward || !inverse)
            throw std::bad_alloc();
    }

    RealBuffer spatial;
    ComplexBuffer spectrum;
    ComplexBuffer reference;
    Plan forward;
    Plan inverse;
};

PhaseCorrelation::PhaseCorrelation(std::int32_t side)
    : m_side(side), m_bins(std::size_t(side) * std::size_t(side / 2 + 1)),
      m_buffers(std::make_unique<Buffers>(side, m_bins)), m_window(std::size_t(side))
{
    for (std::int32_t i = 0; i < side; ++i)
        m_window[std::size_t(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(side));
}

PhaseCorrelation::~PhaseCorrelation() = default;

template <typename Read>
bool PhaseCorrelation::transformSquare(Read read)
{
    const std::int32_t side = m_side;
    double* spatial = m_buffers->spatial.get();
    double mean = 0.0;
    for (std::int32_t y = 0; y < side; ++y) {
        double* out = spatial + std::size_t(y) * std::size_t(side);
        for (std::int32_t x = 0; x < side; ++x) {
            out[x] = read(x, y);
            mean += out[x];
        }
    }
    mean /= double(side) * double(side);
    double energy = 0.0;
    for (std::int32_t y = 0; y < side; ++y) {
        double* out = spatial + std::size_t(y) * std::size_t(side);
        for (std::int32_t x = 0; x < side; ++x) {
            out[x] = (out[x] - mean) * m_window[std::size_t(x)] * m_window[std::size_t(y)];
            energy += out[x] * out[x];
        }
    }
    if (energy < 1e-6 * double(side) * double(side))
        return false;
    fftw_execute(m_buffers->forward.get());
    return true;
}

bool PhaseCorrelation::transform(const FrameView& frame, std::int32_t channel)
{
    const std::int32_t left = (frame.width - m_side) / 2;
    const std::int32_t bottom = (frame.height - m_side) / 2;
    const std::int32_t step = frame.bytesPerPixel;
    return transformSquare([&](std::int32_t x, std::int32_t y) {
        return double(frame.row(bottom + y)[std::ptrdiff_t(left + x) * step + channel]);
    });
}

bool PhaseCorrelation::transform(const float* plane, std::int32_t width, std::int32_t height)
{
    const std::int32_t left = (width - m_side) / 2;
    const std::int32_t first = (height - m_side) / 2;
    return transformSquare([&](std::int32_t x, std::int32_t y) {
        return double(plane[std::size_t(first + y) * std::size_t(width) + std::size_t(left + x)]);
    });
}

void PhaseCorrelation::keepAsReference()
{
    std::memcpy(m_buffers->reference.get(), m_buffers->spectrum.get(), sizeof(fftw_complex) * m_bins);
}

ContentShift PhaseCorrelation::correlate(Weighting weighting)
{
    fftw_complex* spectrum = m_buffers->spectrum.get();
    const fftw_complex* reference = m_buffers->reference.get();
    for (std::size_t k = 0; k < m_bins; ++k) {
        const std::complex<double> f(spectrum[k][0], spectrum[k][1]);
        const std::complex<double> r(reference[k][0], reference[k][1]);
        std::complex<double> cross = f * std::conj(r);
        if (weighting == Weighting::Whitened) {
            const double magnitude = std::abs(cross);
            cross = magnitude > 1e-12 ? cross / magnitude : std::complex<double>(0.0, 0.0);
        }
        spectrum[k][0] = cross.real();
        spectrum[k][1] = cross.imag();
    }
    fftw_execute(m_buffers->inverse.get());
    const std::int32_t side = m_side;
    const double* surface = m_buffers->spatial.get();
    std::size_t peak = 0;
    const std::size_t cells = std::size_t(side) * std::size_t(side);
    for (std::size_t i = 1; i < cells; ++i)
        if (surface[i] > surface[peak])
            peak = i;
    const std::int32_t px = std::int32_t(peak % std::size_t(side));
    const std::int32_t py = std::int32_t(peak / std::size_t(side));
    const auto at = [&](std::int32_t x, std::int32_t y) {
        x = (x + side) % side;
        y = (y + side) % side;
        return surface[std::size_t(y) * std::size_t(side) + std::size_t(x)];
    };
    // A parabola through the peak and its two neighbours on each axis.
    const auto refine = [](double before, double centre, double after) {
        const double curvature = before - 2.0 * centre + after;
        return curvature < 0.0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
    };
    const double fx = refine(at(px - 1, py), at(px, py), at(px + 1, py));
    const double fy = refine(at(px, py - 1), at(px, py), at(px, py + 1));
    // The correlation wraps around: peaks past the middle are negative shifts.
    const double dx = double(px >= side / 2 ? px - side : px) + fx;
    const double dy = double(py >= side / 2 ? py - side : py) + fy;
    return {dx, dy};
}
