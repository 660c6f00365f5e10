// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/actions.h"
#include "run/file_run.h"

#include "support/recording_host.h"
#include "support/synthetic_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Counts what a processing run writes, in order.
class CountingOutput final : public FrameOutput {
public:
    std::vector<std::int32_t> indices;
    void addColorFrame(const OutputBitmap&, std::int32_t index) override { indices.push_back(index); }
    void addGrayFrame(const OutputBitmap&, const GrayPlane&, std::int32_t index) override { indices.push_back(index); }
};

struct ClipRun {
    TProcessingState state;
    RecordingHost host;
    CountingOutput output;
    SyntheticSource::Options options;
    SyntheticSource::Painter painter;

    ClipRun()
    {
        PrepareToRun(state, 4);
        state.aviWriter = &output;
    }

    std::int32_t process(const CentringOptions& centring)
    {
        state.centring = centring;
        state.frameLimit = 0;
        state.framesWritten = 0;
        return ProcessFile(state, host, "/captures/clip.avi",
                           [this](const std::string&) { return std::make_unique<SyntheticSource>(options, painter); });
    }

    bool test(const CentringOptions& centring)
    {
        host.chosenFiles = {"/captures/clip.avi"};
        host.chosen.centring = centring;
        return RunTestAction(
            state, host, [this](const std::string&) { return std::make_unique<SyntheticSource>(options, painter); });
    }
};

void Dot(std::uint8_t* frame, std::int32_t width, std::int32_t left, std::int32_t bottom)
{
    for (std::int32_t y = bottom; y < bottom + 6; ++y)
        for (std::int32_t x = left; x < left + 6; ++x)
            for (int c = 0; c < 3; ++c)
                frame[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(c)] = 255;
}

// A static texture: smoothed noise, bright throughout, so it fills any frame.
class Texture {
public:
    Texture(std::int32_t width, std::int32_t height)
        : m_width(width), m_values(std::size_t(width) * std::size_t(height))
    {
        std::uint32_t seed = 12345;
        std::vector<double> noise(m_values.size());
        for (double& v : noise) {
            seed = seed * 1664525u + 1013904223u;
            v = double(seed >> 24);
        }
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) {
                double sum = 0.0;
                int count = 0;
                for (std::int32_t dy = -2; dy <= 2; ++dy)
                    for (std::int32_t dx = -2; dx <= 2; ++dx) {
                        const std::int32_t xx = x + dx, yy = y + dy;
                        if (xx >= 0 && xx < width && yy >= 0 && yy < height) {
                            sum += noise[std::size_t(yy) * std::size_t(width) + std::size_t(xx)];
                            ++count;
                        }
                    }
                m_values[std::size_t(y) * std::size_t(width) + std::size_t(x)] = std::uint8_t(60.0 + sum / count * 0.6);
            }
    }
    std::uint8_t at(std::int32_t x, std::int32_t y) const
    {
        return m_values[std::size_t(y) * std::size_t(m_width) + std::size_t(x)];
    }

private:
    std::int32_t m_width;
    std::vector<std::uint8_t> m_values;
};

}   // namespace

// A moon beside the planet pulls the whole-frame centre of gravity; with the
// option the centre is that of the planet alone, to the last bit.
TEST(CentringRun, LargestObjectFollowsThePlanetAloneBesideABrightDot)
{
    ClipRun run;
    run.options = {.width = 256, .height = 160, .frames = 6};
    const auto planetX = [](std::int32_t i) { return 63.5 + 4.0 * i; };
    run.painter = [&](std::int32_t i, std::uint8_t* frame) {
        PaintDisc(frame, 256, 160, planetX(i), 79.5, 24, 150, 180, 200);
        Dot(frame, 256, std::int32_t(planetX(i)) + 100, 77);
    };
    CentringOptions largest;
    largest.largestObject = true;
    ASSERT_EQ(run.process(largest), 0);
    ASSERT_EQ(run.host.frames.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(run.host.frames[i].centerX, planetX(std::int32_t(i)));
        EXPECT_EQ(run.host.frames[i].centerY, 79.5);
    }

    run.host.frames.clear();
    ASSERT_EQ(run.process({}), 0);
    EXPECT_GT(run.host.frames[0].centerX - planetX(0), 1.0);   // the default is pulled, as before
}

// A frame measured ahead is taken as measured, but only with the choices the
// run would make for it now: one made before an option changed is measured again.
TEST(CentringRun, MeasurementsAheadAreTakenOnlyWithTheRunsOwnChoices)
{
    ClipRun run;
    run.options = {.width = 128, .height = 96, .frames = 3};
    run.painter = [](std::int32_t, std::uint8_t* frame) { PaintDisc(frame, 128, 96, 63.5, 47.5, 16, 200, 200, 200); };
    run.options.ahead = [](AheadMeasurement& m) { m.fix.centerX += 16.0; };
    ASSERT_EQ(run.process({}), 0);
    ASSERT_EQ(run.host.frames.size(), 3u);
    EXPECT_EQ(run.host.frames[2].centerX, 79.5);

    run.host.frames.clear();
    run.options.ahead = [](AheadMeasurement& m) {
        m.fix.centerX += 16.0;
        m.choices.search.inverse = !m.choices.search.inverse;
    };
    ASSERT_EQ(run.process({}), 0);
    ASSERT_EQ(run.host.frames.size(), 3u);
    EXPECT_EQ(run.host.frames[2].centerX, 63.5);
}

// The fill warning comes with a passed test of a frame-filling object, in the
// log and as a message, and not for a planet on the sky.
TEST(CentringRun, TestOfAFrameFillingObjectPassesWithAWarning)
{
    ClipRun run;
    run.options = {.width = 96, .height = 64, .frames = 2};
    const Texture texture(96, 64);
    run.painter = [&](std::int32_t, std::uint8_t* frame) {
        // Detail on a surface that brightens to the right, as towards the
        // full-lit side of the terminator: the bright part reaches from the
        // bottom border to the top one.
        for (std::int32_t y = 0; y < 64; ++y)
            for (std::int32_t x = 0; x < 96; ++x)
                std::fill_n(frame + (std::size_t(y) * 96 + std::size_t(x)) * 3, 3,
                            std::uint8_t(texture.at(x, y) / 2 + x));
    };
    EXPECT_TRUE(run.test({}));
    EXPECT_EQ(run.host.log.back(), kFillsFrameWarning);
    ASSERT_EQ(run.host.messages.size(), 1u);
    EXPECT_NE(run.host.messages[0].find("--surface"), std::string::npos);

    run.host.messages.clear();
    run.painter = [](std::int32_t, std::uint8_t* frame) { PaintDisc(frame, 96, 64, 47.5, 31.5, 12, 200, 200, 200); };
    EXPECT_TRUE(run.test({}));
    EXPECT_TRUE(run.host.messages.empty());
}

// Frames cut from one surface at known shifts (a random walk, against a
// reference taken again every 5 frames): every shift is recovered within
// half a pixel before rounding, and the crops follow the content.
TEST(CentringRun, SurfaceModeRecoversKnownShifts)
{
    constexpr std::int32_t kWidth = 160, kHeight = 128, kMargin = 24, kFrames = 16;
    const Texture texture(kWidth + 2 * kMargin, kHeight + 2 * kMargin);
    std::vector<std::int32_t> sx(kFrames), sy(kFrames);
    std::uint32_t seed = 99;
    for (std::int32_t i = 1; i < kFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        sx[std::size_t(i)] = std::clamp(sx[std::size_t(i - 1)] + std::int32_t(seed >> 29) - 3, -20, 20);
        sy[std::size_t(i)] = std::clamp(sy[std::size_t(i - 1)] + std::int32_t((seed >> 26) & 7) - 3, -20, 20);
    }
    ClipRun run;
    run.options = {.width = kWidth, .height = kHeight, .frames = kFrames};
    run.painter = [&](std::int32_t i, std::uint8_t* frame) {
        // Content moved right by sx and down by sy (picture rows, top first).
        for (std::int32_t r = 0; r < kHeight; ++r)
            for (std::int32_t x = 0; x < kWidth; ++x)
                std::fill_n(frame + (std::size_t(kHeight - 1 - r) * kWidth + std::size_t(x)) * 3, 3,
                            texture.at(x + kMargin - sx[std::size_t(i)], r + kMargin - sy[std::size_t(i)]));
    };
    CentringOptions surface;
    surface.surface = true;
    surface.surfaceRefresh = 5;
    ASSERT_EQ(run.process(surface), 0);
    ASSERT_EQ(run.host.frames.size(), std::size_t(kFrames));
    for (std::size_t i = 0; i < std::size_t(kFrames); ++i) {
        EXPECT_NEAR(run.host.frames[i].shiftX, sx[i], 0.5) << "frame " << i;
        EXPECT_NEAR(run.host.frames[i].shiftY, sy[i], 0.5) << "frame " << i;
        EXPECT_EQ(run.host.frames[i].outcome, FrameRecord::Outcome::Written);
    }
}

// Keeping the best half of a clip whose known frames are blurred keeps none
// of them and writes the others in their order; the best frame is handed over.
TEST(CentringRun, KeepBestHalfDropsTheBlurredFrames)
{
    const std::vector<bool> blurred = {false, true, false, true, true, false, false, true, false, true};
    ClipRun run;
    run.options = {.width = 128, .height = 96, .frames = std::int32_t(blurred.size())};
    run.painter = [&](std::int32_t i, std::uint8_t* frame) {
        // A banded disc; a blurred frame averages each band with its neighbours.
        const bool soft = blurred[std::size_t(i)];
        for (std::int32_t y = 0; y < 96; ++y)
            for (std::int32_t x = 0; x < 128; ++x) {
                const double dx = x - 63.5 - (i % 3), dy = y - 47.5;
                std::uint8_t v = 8;
                if (dx * dx + dy * dy < 30.0 * 30.0) {
                    const double band = soft ? 0.5 : double((y / 3 + i) % 2);
                    v = std::uint8_t(120 + 80 * band);
                }
                std::fill_n(frame + (std::size_t(y) * 128 + std::size_t(x)) * 3, 3, v);
            }
    };
    CentringOptions keep;
    keep.keepBest = {KeepBest::Kind::Percent, 50};
    keep.bestFrame = true;
    ASSERT_EQ(run.process(keep), 0);
    ASSERT_EQ(run.host.frames.size(), blurred.size());
    for (std::size_t i = 0; i < blurred.size(); ++i) {
        EXPECT_EQ(run.host.frames[i].outcome,
                  blurred[i] ? FrameRecord::Outcome::NotKept : FrameRecord::Outcome::Written)
            << "frame " << i;
        EXPECT_EQ(run.host.frames[i].index, std::int32_t(i));
    }
    EXPECT_EQ(run.output.indices, (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(run.state.framesWritten, 5);
    ASSERT_EQ(run.host.bestFrames.size(), 1u);
    double best = 0.0;
    for (const FrameRecord& f : run.host.frames)
        best = std::max(best, f.quality);
    EXPECT_EQ(best, 1.0);
    const auto line = std::find_if(run.host.log.begin(), run.host.log.end(), [](const std::string& l) {
        return l.rfind(" - Kept 5 of 10 frames, quality ", 0) == 0;
    });
    ASSERT_NE(line, run.host.log.end());
    EXPECT_EQ(line->substr(line->size() - 8), "to 1.000");
}

// A stop ends a ranked run in either pass: in the measuring pass nothing is
// written and the file is not played again; in the writing pass the frames
// after the stop are neither reported nor written.
TEST(CentringRun, AStopEndsEitherPassOfARankedRun)
{
    constexpr std::int32_t kFrames = 10;
    CentringOptions keep;
    keep.keepBest = {KeepBest::Kind::Percent, 50};
    for (const std::int32_t stopAt : {3, kFrames + 3}) {
        ClipRun run;
        run.options = {.width = 128, .height = 96, .frames = kFrames};
        run.painter = [](std::int32_t i, std::uint8_t* frame) {
            for (std::int32_t y = 0; y < 96; ++y)
                for (std::int32_t x = 0; x < 128; ++x) {
                    const double dx = x - 63.5 - (i % 3), dy = y - 47.5;
                    const bool disc = dx * dx + dy * dy < 30.0 * 30.0;
                    std::fill_n(frame + (std::size_t(y) * 128 + std::size_t(x)) * 3, 3,
                                std::uint8_t(disc ? 120 + 80 * ((y / 3 + i) % 2) : 8));
                }
        };
        run.host.onEvents = [&](std::int32_t pumped) {
            if (pumped == stopAt)
                run.state.stopRequested = true;
        };
        ASSERT_EQ(run.process(keep), 0);
        EXPECT_EQ(run.host.eventsPumped, stopAt) << "stop at " << stopAt;
        EXPECT_EQ(run.host.log.back(), "Orbicropping stopped!");
        const std::size_t reported = stopAt > kFrames ? 3u : 0u;
        EXPECT_EQ(run.host.frames.size(), reported);
        EXPECT_EQ(std::size_t(run.state.framesWritten), run.output.indices.size());
        EXPECT_LE(run.output.indices.size(), reported);
    }
}

// A colour frame handed over as its green channel and a painter must give
// what the whole picture gives: the same measurements, outcomes, scores and
// written bytes, for crops inside the frame and across its border, and
// nothing read outside the window (the painter leaves junk there).
TEST(CentringRun, FramesPaintedOnlyInTheirWindowGiveTheWholePicturesResults)
{
    // Writes each frame's bytes, in order.
    class BytesOutput final : public FrameOutput {
    public:
        std::vector<std::vector<std::uint8_t>> frames;
        void addColorFrame(const OutputBitmap& bitmap, std::int32_t) override
        {
            frames.emplace_back(bitmap.data(), bitmap.data() + bitmap.sizeBytes());
        }
        void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t) override
        {
            addColorFrame(bitmap, 0);
            frames.back().insert(frames.back().end(), plane.begin(), plane.end());
        }
    };
    struct Results {
        std::vector<FrameRecord> records;
        std::vector<std::vector<std::uint8_t>> written;
        std::vector<std::vector<std::uint8_t>> best;
        bool colour = false;
    };
    const auto run = [](bool painted, bool grayscale) {
        ClipRun clip;
        BytesOutput output;
        clip.state.aviWriter = &output;
        clip.state.outputGrayscale = grayscale;
        clip.options = {.width = 96, .height = 80, .frames = 8, .paintedFrames = painted};
        // A warm disc that drifts off the right edge, with a bright core.
        clip.painter = [](std::int32_t i, std::uint8_t* frame) {
            PaintDisc(frame, 96, 80, 50.5 + 4 * i, 39.5, 14, 90, 160, 210);
            PaintDisc(frame, 96, 80, 50.5 + 4 * i + 3, 41.5, 4, 255, 255, 255);
        };
        CentringOptions centring;
        centring.keepBest = {KeepBest::Kind::Percent, 75};
        centring.bestFrame = true;
        centring.reject.maxSaturated = 50.0;
        EXPECT_EQ(clip.process(centring), 0);
        Results r;
        r.records = clip.host.frames;
        r.written = output.frames;
        for (const OutputBitmap& b : clip.host.bestFrames)
            r.best.emplace_back(b.data(), b.data() + b.sizeBytes());
        r.colour = clip.state.colorDetected;
        return r;
    };
    for (const bool grayscale : {false, true}) {
        const Results whole = run(false, grayscale);
        const Results painted = run(true, grayscale);
        ASSERT_EQ(painted.records.size(), whole.records.size());
        for (std::size_t i = 0; i < whole.records.size(); ++i) {
            EXPECT_EQ(painted.records[i].outcome, whole.records[i].outcome) << i;
            EXPECT_EQ(painted.records[i].centerX, whole.records[i].centerX) << i;
            EXPECT_EQ(painted.records[i].quality, whole.records[i].quality) << i;
        }
        EXPECT_GE(whole.written.size(), 4u);
        EXPECT_EQ(painted.written, whole.written);
        EXPECT_EQ(painted.best, whole.best);
        EXPECT_EQ(painted.colour, whole.colour);
    }
}
