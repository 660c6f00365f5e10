// SPDX-License-Identifier: GPL-3.0-or-later
#include "surface/phase_aligner.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>
#include <vector>

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

// The buffers and plans of one square size. The window tapers the square's
// edges so that content entering and leaving it does not correlate.
struct PhaseAligner::Fft {
    explicit Fft(std::int32_t n)
        : side(n), bins(std::size_t(n) * std::size_t(n / 2 + 1)),
          spatial(Allocate<double>(std::size_t(n) * std::size_t(n))), spectrum(Allocate<fftw_complex>(bins)),
          reference(Allocate<fftw_complex>(bins)), window(std::size_t(n))
    {
        {
            const std::lock_guard lock(PlannerMutex());
            forward.reset(fftw_plan_dft_r2c_2d(n, n, spatial.get(), spectrum.get(), FFTW_ESTIMATE));
            inverse.reset(fftw_plan_dft_c2r_2d(n, n, spectrum.get(), spatial.get(), FFTW_ESTIMATE));
        }
        if (!forward || !inverse)
            throw std::bad_alloc();
        for (std::int32_t i = 0; i < n; ++i)
            window[std::size_t(i)] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(n));
    }

    // Copies the central square into spatial, less its mean, tapered, and
    // transforms it into spectrum. False when the square holds no detail.
    bool transform(const FrameView& frame)
    {
        const std::int32_t left = (frame.width - side) / 2;
        const std::int32_t bottom = (frame.height - side) / 2;
        const std::int32_t step = frame.bytesPerPixel;
        double mean = 0.0;
        for (std::int32_t y = 0; y < side; ++y) {
            const std::uint8_t* row = frame.row(bottom + y) + std::ptrdiff_t(left) * step + frame.greenOffset();
            double* out = spatial.get() + std::size_t(y) * std::size_t(side);
            for (std::int32_t x = 0; x < side; ++x) {
                out[x] = double(row[std::ptrdiff_t(x) * step]);
                mean += out[x];
            }
        }
        mean /= double(side) * double(side);
        double energy = 0.0;
        for (std::int32_t y = 0; y < side; ++y) {
            double* out = spatial.get() + std::size_t(y) * std::size_t(side);
            for (std::int32_t x = 0; x < side; ++x) {
                out[x] = (out[x] - mean) * window[std::size_t(x)] * window[std::size_t(y)];
                energy += out[x] * out[x];
            }
        }
        if (energy < 1e-6 * double(side) * double(side))
            return false;
        fftw_execute(forward.get());
        return true;
    }

    // The displacement of spectrum's content against reference, in pixels.
    ContentShift correlate()
    {
        for (std::size_t k = 0; k < bins; ++k) {
            const std::complex<double> f(spectrum[k][0], spectrum[k][1]);
            const std::complex<double> r(reference[k][0], reference[k][1]);
            std::complex<double> cross = f * std::conj(r);
            const double magnitude = std::abs(cross);
            cross = magnitude > 1e-12 ? cross / magnitude : std::complex<double>(0.0, 0.0);
            spectrum[k][0] = cross.real();
            spectrum[k][1] = cross.imag();
        }
        fftw_execute(inverse.get());
        const double* surface = spatial.get();
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

    void keepAsReference() { std::memcpy(reference.get(), spectrum.get(), sizeof(fftw_complex) * bins); }

    std::int32_t side;
    std::size_t bins;
    RealBuffer spatial;
    ComplexBuffer spectrum;
    ComplexBuffer reference;
    std::vector<double> window;
    Plan forward;
    Plan inverse;
};

PhaseAligner::PhaseAligner(std::int32_t refreshFrames) : m_refresh(std::max(refreshFrames, 1)) {}

PhaseAligner::~PhaseAligner() = default;

void PhaseAligner::reset()
{
    m_haveReference = false;
    m_sinceReference = 0;
    m_referenceShift = {};
}

std::optional<ContentShift> PhaseAligner::shiftOf(const FrameView& frame)
{
    const std::int32_t side = AlignmentSquareFor(frame.width, frame.height);
    if (side == 0)
        return std::nullopt;
    if (!m_fft || m_fft->side != side) {
        m_fft = std::make_unique<Fft>(side);
        reset();
    }
    if (!m_fft->transform(frame))
        return std::nullopt;
    if (!m_haveReference) {
        m_fft->keepAsReference();
        m_haveReference = true;
        m_sinceReference = 0;
        return m_referenceShift;
    }
    // The transform is overwritten by the correlation: a frame that is to be
    // the next reference is transformed again afterwards.
    const ContentShift local = m_fft->correlate();
    const ContentShift total{m_referenceShift.x + local.x, m_referenceShift.y + local.y};
    if (++m_sinceReference >= m_refresh) {
        m_fft->transform(frame);
        m_fft->keepAsReference();
        m_referenceShift = total;
        m_sinceReference = 0;
    }
    return total;
}
