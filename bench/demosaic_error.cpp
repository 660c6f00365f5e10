// SPDX-License-Identifier: GPL-3.0-or-later
// How far each demosaicing method strays from pictures whose colours are
// known: a sharp colour edge, lines one or two pixels wide, flat areas. Each
// picture is sampled through an RGGB mosaic (8 bits), demosaicked, and
// compared with itself; figures are in % of full scale. The outermost 4
// pixels are left out: OpenCV fills them by copying their neighbours, and a
// planet is never cropped that close to the frame's edge.
//
//   orbicrop-demosaic-error

#include "debayer/demosaic.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kMargin = 4;
constexpr DemosaicMethod kMethods[] = {DemosaicMethod::Bilinear, DemosaicMethod::EdgeAware};

using Rgb = std::array<int, 3>;   // red, green, blue
using Picture = std::function<Rgb(int x, int y)>;

struct Errors {
    std::array<double, 3> mean{};   // per channel, red green blue
    double max = 0;                 // any channel
    double falseColour = 0;         // mean |R - G| + |B - G| of the result
    double falseColourL2 = 0;       // mean sqrt((R - G)^2 + (B - G)^2) of the result
    double meanAll() const { return (mean[0] + mean[1] + mean[2]) / 3; }
};

// The picture demosaicked from its own RGGB mosaic, compared with itself
// where inside(x, y) holds.
Errors Measure(int width, int height, const Picture& picture, DemosaicMethod method,
               const std::function<bool(int x, int y)>& inside)
{
    std::vector<std::uint8_t> mosaic(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int channel = (x & 1) + (y & 1);   // R G / G B
            mosaic[std::size_t(y * width + x)] = std::uint8_t(picture(x, y)[std::size_t(channel)]);
        }
    std::vector<std::uint8_t> out(mosaic.size() * 3);
    Demosaicer().demosaic(mosaic.data(), width, width, height, 1, BayerPattern::Rggb, method, out.data(), width * 3);

    Errors e;
    long count = 0;
    for (int y = kMargin; y < height - kMargin; ++y)
        for (int x = kMargin; x < width - kMargin; ++x) {
            if (!inside(x, y))
                continue;
            const Rgb want = picture(x, y);
            const std::uint8_t* bgr = &out[std::size_t(y * width + x) * 3];
            const Rgb seen{bgr[2], bgr[1], bgr[0]};
            for (std::size_t c = 0; c < 3; ++c) {
                const int d = std::abs(seen[c] - want[c]);
                e.mean[c] += d;
                e.max = std::max(e.max, double(d));
            }
            e.falseColour += std::abs(seen[0] - seen[1]) + std::abs(seen[2] - seen[1]);
            e.falseColourL2 += std::hypot(seen[0] - seen[1], seen[2] - seen[1]);
            ++count;
        }
    for (double& m : e.mean)
        m = 100.0 * m / double(count) / 255.0;
    e.max = 100.0 * e.max / 255.0;
    e.falseColour = 100.0 * e.falseColour / double(count) / 255.0;
    e.falseColourL2 = 100.0 * e.falseColourL2 / double(count) / 255.0;
    return e;
}

void PrintHeader(const char* title, const char* columns)
{
    std::printf("\n%s\n%-30s", title, "");
    for (DemosaicMethod method : kMethods)
        std::printf(" | %-31s", std::string(NameOf(method)).c_str());
    std::printf("\n%-30s", "");
    for (std::size_t k = 0; k < std::size(kMethods); ++k)
        std::printf(" | %31s", columns);
    std::printf("\n");
}

constexpr int kWidth = 128, kHeight = 96;
constexpr Rgb kRed{200, 30, 30};

struct NamedColour {
    const char* name;
    Rgb colour;
};

// The sums over the cases of each kind, a method each, for the averages.
struct Totals {
    std::array<double, 2> edge{}, line{}, lineFalse{}, lineFalseL2{}, limb{};
    int edgeCases = 0, lineCases = 0, limbCases = 0;
};

// Saturated red against another colour, the edge between two columns (or
// rows) of one colour cell or between two cells; the band is the 3 pixels
// either side of it.
void MeasureEdges(Totals& totals)
{
    PrintHeader("Sharp colour edge, band of +-3 px (% of full scale)", "R mean  G mean  B mean     max");
    for (const NamedColour& other : {NamedColour{"white", {220, 220, 220}}, NamedColour{"grey", {128, 128, 128}},
                                     NamedColour{"blue", {30, 30, 200}}, NamedColour{"black", {0, 0, 0}}})
        for (bool vertical : {true, false})
            for (int phase : {0, 1}) {
                const int at = (vertical ? kWidth : kHeight) / 2 + phase;
                const auto picture = [&](int x, int y) { return (vertical ? x : y) < at ? kRed : other.colour; };
                const auto band = [&](int x, int y) { return std::abs((vertical ? x : y) - at + 0.5) < 3.5; };
                char name[64];
                std::snprintf(name, sizeof name, "red|%s %s %s", other.name, vertical ? "vertical" : "horizontal",
                              phase ? "odd" : "even");
                std::printf("%-30s", name);
                for (std::size_t m = 0; m < std::size(kMethods); ++m) {
                    const Errors e = Measure(kWidth, kHeight, picture, kMethods[m], band);
                    std::printf(" | %6.2f  %6.2f  %6.2f  %6.1f", e.mean[0], e.mean[1], e.mean[2], e.max);
                    totals.edge[m] += e.meanAll();
                }
                std::printf("\n");
                ++totals.edgeCases;
            }
}

bool Everywhere(int, int)
{
    return true;
}

// White lines on black, 1 or 2 pixels wide; the periods are odd so the lines
// fall on every site of the cell in turn. |R - G| + |B - G| is R - B wherever
// green lies between red and blue, whatever green is, so it cannot tell
// methods apart that differ in green only (OpenCV's edge-aware one
// interpolates red and blue as the bilinear one does); the distance of
// (R - G, B - G) from grey, L2, can.
void MeasureLines(Totals& totals)
{
    PrintHeader("Fine white lines on black, whole picture (% of full scale)", "false colour   L2    mean     max");
    for (int thickness : {1, 2})
        for (const char* orientation : {"horizontal", "vertical", "diagonal"}) {
            const int period = thickness == 1 ? 7 : 9;
            const char o = orientation[0];
            const auto picture = [&](int x, int y) {
                const int along = o == 'h' ? y : o == 'v' ? x : ((x - y) % period + period);
                const int level = along % period < thickness ? 255 : 0;
                return Rgb{level, level, level};
            };
            char name[64];
            std::snprintf(name, sizeof name, "%d px %s", thickness, orientation);
            std::printf("%-30s", name);
            for (std::size_t m = 0; m < std::size(kMethods); ++m) {
                const Errors e = Measure(kWidth, kHeight, picture, kMethods[m], Everywhere);
                std::printf(" | %12.2f %5.2f  %6.2f  %6.1f", e.falseColour, e.falseColourL2, e.meanAll(), e.max);
                totals.line[m] += e.meanAll();
                totals.lineFalse[m] += e.falseColour;
                totals.lineFalseL2[m] += e.falseColourL2;
            }
            std::printf("\n");
            ++totals.lineCases;
        }
}

// What a planet's limb meets: a disc of a planet's colours on a black sky,
// its edge at every angle; the band is 3 pixels either side of it.
void MeasureLimbs(Totals& totals)
{
    PrintHeader("Planet limb on black, band of +-3 px (% of full scale)", "R mean  G mean  B mean     max");
    for (const NamedColour& planet :
         {NamedColour{"Mars-like disc", {220, 120, 60}}, NamedColour{"Jupiter-like disc", {230, 210, 180}}}) {
        const double cx = kWidth / 2.0 + 0.3, cy = kHeight / 2.0 - 0.2, radius = 30;
        const auto picture = [&](int x, int y) {
            return std::hypot(x - cx, y - cy) < radius ? planet.colour : Rgb{0, 0, 0};
        };
        const auto band = [&](int x, int y) { return std::abs(std::hypot(x - cx, y - cy) - radius) < 3.5; };
        std::printf("%-30s", planet.name);
        for (std::size_t m = 0; m < std::size(kMethods); ++m) {
            const Errors e = Measure(kWidth, kHeight, picture, kMethods[m], band);
            std::printf(" | %6.2f  %6.2f  %6.2f  %6.1f", e.mean[0], e.mean[1], e.mean[2], e.max);
            totals.limb[m] += e.meanAll();
        }
        std::printf("\n");
        ++totals.limbCases;
    }
}

// Flat areas must come back as they were.
void MeasureFlats()
{
    PrintHeader("Flat areas, whole picture (% of full scale)", "R mean  G mean  B mean     max");
    for (const NamedColour& flat :
         {NamedColour{"grey", {128, 128, 128}}, NamedColour{"red", kRed}, NamedColour{"blue", {30, 30, 200}}}) {
        std::printf("%-30s", flat.name);
        for (DemosaicMethod method : kMethods) {
            const Errors e = Measure(
                kWidth, kHeight, [&](int, int) { return flat.colour; }, method, Everywhere);
            std::printf(" | %6.2f  %6.2f  %6.2f  %6.1f", e.mean[0], e.mean[1], e.mean[2], e.max);
        }
        std::printf("\n");
    }
}

void PrintAverageRow(const char* title, const std::array<double, 2>& total, int cases)
{
    std::printf("\n%-30s", title);
    for (std::size_t m = 0; m < std::size(kMethods); ++m)
        std::printf(" | %31.2f", total[m] / cases);
}

void PrintAverages(const Totals& totals)
{
    std::printf("\nAverages (%% of full scale)%-4s", "");
    for (DemosaicMethod method : kMethods)
        std::printf(" | %-31s", std::string(NameOf(method)).c_str());
    PrintAverageRow("edge band, mean error", totals.edge, totals.edgeCases);
    PrintAverageRow("planet limb, mean error", totals.limb, totals.limbCases);
    PrintAverageRow("fine lines, mean error", totals.line, totals.lineCases);
    PrintAverageRow("fine lines, false colour", totals.lineFalse, totals.lineCases);
    PrintAverageRow("fine lines, false colour L2", totals.lineFalseL2, totals.lineCases);
    std::printf("\n");
}

}   // namespace

int main()
{
    Totals totals;
    MeasureEdges(totals);
    MeasureLines(totals);
    MeasureLimbs(totals);
    MeasureFlats();
    PrintAverages(totals);
    return 0;
}
