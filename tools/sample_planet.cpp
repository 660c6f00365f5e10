// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/sample_planet.h"

#include <algorithm>
#include <cmath>

namespace {

// Venus's light at (dx, dy) in radii from the disc's centre (mu: the cosine
// of the view angle there): lunar-Lambert shading, a sharp lit limb and a
// gradual terminator, the sun at the phase angle and 20 degrees above the x
// axis (rows run down).
double PhaseShade(double dx, double dy, double mu, double phaseDegrees)
{
    const double a = phaseDegrees * 3.14159265358979 / 180.0, b = 20.0 * 3.14159265358979 / 180.0;
    const double mu0 = (dx * std::cos(b) - dy * std::sin(b)) * std::sin(a) + mu * std::cos(a);
    return mu0 <= 0.0 ? 0.0 : 0.6 * (mu0 / (mu0 + mu + 1e-9) + 0.5 * mu0);
}

}   // namespace

SamplePlanet::SamplePlanet(const Options& options)
    : m_options(options), m_rng(options.seed ? options.seed : 1), m_x(options.width / 2.0), m_y(options.height / 2.0)
{}

// xorshift64*: the same numbers on every machine and library, unlike the
// standard distributions.
double SamplePlanet::uniform()
{
    m_rng ^= m_rng >> 12;
    m_rng ^= m_rng << 25;
    m_rng ^= m_rng >> 27;
    return double((m_rng * 2685821657736338717ULL) >> 11) / double(1ULL << 53);
}

double SamplePlanet::gaussian()
{
    double sum = 0.0;
    for (int i = 0; i < 12; ++i)
        sum += uniform();
    return sum - 6.0;
}

void SamplePlanet::next(OutputBitmap& bitmap, double& centerX, double& centerY)
{
    const std::int32_t w = m_options.width;
    const std::int32_t h = m_options.height;
    const double r = m_options.radius;

    // Tracking drift: a slowly wandering velocity, turned back near the edges.
    m_vx = 0.9 * m_vx + 0.6 * gaussian();
    m_vy = 0.9 * m_vy + 0.6 * gaussian();
    const double margin = r + 40.0;
    if (m_x + m_vx < margin || m_x + m_vx > w - margin)
        m_vx = -m_vx;
    if (m_y + m_vy < margin || m_y + m_vy > h - margin)
        m_vy = -m_vy;
    m_x += m_vx;
    m_y += m_vy;
    // Seeing: a jitter of its own in every frame.
    centerX = m_x + 1.2 * gaussian();
    centerY = m_y + 1.2 * gaussian();
    const std::int32_t frame = m_frame++;
    if (m_options.bumpFrame >= 0 && frame >= m_options.bumpFrame && frame < m_options.bumpFrame + kBumpFrames)
        centerX = w;

    bitmap.setSize(w, h);
    // A gas giant is slightly flattened; Venus is round.
    const double ry = m_options.phase > 0.0 ? r : r * 0.935;
    for (std::int32_t row = 0; row < h; ++row) {
        std::uint8_t* out = bitmap.rowFromBottom(h - 1 - row);
        for (std::int32_t x = 0; x < w; ++x) {
            double red = 10.0 + 3.0 * gaussian();
            double green = red;
            double blue = red + 1.0;
            const double dx = (x + 0.5 - centerX) / r;
            const double dy = (row + 0.5 - centerY) / ry;
            const double d2 = dx * dx + dy * dy;
            if (d2 < 1.08) {
                // Edge coverage from the distance to the limb, in pixels.
                const double coverage = std::clamp((1.0 - std::sqrt(d2)) * r + 0.5, 0.0, 1.0);
                if (coverage > 0.0) {
                    const double mu = std::sqrt(std::max(0.0, 1.0 - std::min(d2, 1.0)));
                    const double limb = 0.45 + 0.55 * mu;
                    double pr = 0.0, pg = 0.0, pb = 0.0;
                    if (m_options.phase > 0.0) {
                        const double lit = 230.0 * PhaseShade(dx, dy, mu, m_options.phase);
                        pr = lit + 10.0;
                        pg = 0.96 * lit + 10.0;
                        pb = 0.85 * lit + 10.0;
                    } else {
                        // Belts and zones: darker reddish bands by latitude.
                        const double band = 0.5 + 0.5 * std::cos(dy * 11.0 + 0.7 * std::sin(dx * 3.0 + dy * 2.0));
                        pr = (228.0 - 55.0 * band) * limb;
                        pg = (205.0 - 75.0 * band) * limb;
                        pb = (170.0 - 85.0 * band) * limb;
                    }
                    red = red * (1 - coverage) + pr * coverage;
                    green = green * (1 - coverage) + pg * coverage;
                    blue = blue * (1 - coverage) + pb * coverage;
                }
            }
            if (m_options.rings) {
                // A thin ellipse seen at a low tilt; in front of the disc
                // below the centre, hidden behind it above.
                const double ux = (x + 0.5 - centerX) / r;
                const double uy = (row + 0.5 - centerY) / (r * 0.38);
                const double e = std::sqrt(ux * ux + uy * uy);
                const bool behind = d2 < 1.0 && row + 0.5 < centerY;
                if (e > 1.25 && e < 2.15 && !behind) {
                    const double shade = (e > 1.9 && e < 1.98) ? 0.25 : 0.85;   // the Cassini division
                    red = 200.0 * shade + 10.0;
                    green = 190.0 * shade + 10.0;
                    blue = 160.0 * shade + 10.0;
                }
            }
            if (m_options.moonDistance > 0.0) {
                const double mx = centerX + m_options.moonDistance;
                if (x + 0.5 >= mx - 3.0 && x + 0.5 < mx + 3.0 && row + 0.5 >= centerY - 3.0
                    && row + 0.5 < centerY + 3.0)
                    red = green = blue = 255.0;
            }
            if (m_options.gray) {
                const double y = 0.299 * red + 0.587 * green + 0.114 * blue;
                red = green = blue = y;
            }
            out[x * 3] = std::uint8_t(std::clamp(std::lround(blue), 0L, 255L));
            out[x * 3 + 1] = std::uint8_t(std::clamp(std::lround(green), 0L, 255L));
            out[x * 3 + 2] = std::uint8_t(std::clamp(std::lround(red), 0L, 255L));
        }
    }
}
