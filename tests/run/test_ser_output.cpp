// SPDX-License-Identifier: GPL-3.0-or-later
// SER output end to end: SER captures (and 8-bit videos) processed through
// the real sources and the process action into SER files, read back by the
// tests' own reader.

#include "run/actions.h"

#include "analysis/rounding.h"
#include "avi/avi_writer.h"
#include "output/avi_output.h"
#include "output/ser_output.h"
#include "ser/ser_colour.h"
#include "support/decoded_video.h"
#include "support/recording_host.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace {

constexpr std::int64_t kStart = 638400000000000000;   // 2024, in 100 ns ticks
constexpr std::int64_t kFrameTicks = 400000;          // 25 frames a second

struct Capture {
    const char* name;
    friend void PrintTo(const Capture& c, std::ostream* os) { *os << c.name; }
    std::int32_t colourId;
    std::int32_t declaredDepth;
    std::int32_t dataBits;   // the bits the samples really use
    double centreX;          // of the disc in frame 0, picture coordinates
    std::int32_t height;
};

// A bright disc wandering over a dim sky; every sample differs from its
// neighbours, so that a window one pixel off shows. Frame 3 is blank: no
// planet, so it is dropped.
SerClip MakeCapture(const Capture& c, std::int32_t frames)
{
    SerClip clip;
    clip.colourId = c.colourId;
    clip.depth = c.declaredDepth;
    clip.width = 96;
    clip.height = c.height;
    const std::int32_t top = (1 << c.dataBits) - 1;
    // A step that is no power of two, so that both bytes of two-byte samples
    // vary and the reader's byte order test sees which order is smooth.
    const std::int32_t scale = std::max(1, ((1 << (c.dataBits - 8)) - 1) / 2);
    for (std::int32_t f = 0; f < frames; ++f) {
        const double cx = c.centreX + 3 * f;
        const double cy = 38.0 + f;
        clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t p) {
            const std::int32_t texture = (x * 7 + y * 13 + p * 5 + f) % 32;
            const bool disc = f != 3 && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 12 * 12;
            return disc ? top - texture * scale : (texture + 1) * scale;
        });
        clip.timestamps.push_back(kStart + f * kFrameTicks);
    }
    return clip;
}

struct SerRun {
    TempDir dir;
    TProcessingState state;
    RecordingHost host;
    SerOutput output;

    explicit SerRun(bool winJuposName = false) : output(winJuposName)
    {
        state.blockSize = kBlockSize;
        host.chosen.widthPosition = 3;
        host.chosen.heightPosition = 2;
        host.chosen.autoColor = false;
        UpdateCropSize(state, 3, 2);
    }
    BatchResult process(const std::string& input)
    {
        host.chosenFiles = {input};
        EXPECT_TRUE(RunTestAction(state, host));
        host.frames.clear();   // the test's own
        return RunProcessAction(state, host, output);
    }
};

class SerRoundTrip : public testing::TestWithParam<Capture> {};

TEST_P(SerRoundTrip, OutputHoldsTheSourceSamplesAtTheTrackedWindowWithTheirTimes)
{
    const Capture& c = GetParam();
    SerRun run;
    const SerClip clip = MakeCapture(c, 8);
    const std::string input = run.dir.write("cap.ser", clip.bytes());
    ASSERT_EQ(run.process(input).completed, 1);

    const SerFileContents out = ReadSerFile(run.dir.file("cap_orbic.ser"));
    EXPECT_EQ(out.width, 48);
    EXPECT_EQ(out.height, 32);
    EXPECT_EQ(out.depth, c.dataBits);
    EXPECT_EQ(out.observer.substr(0, 9), std::string("Observer\0", 9));
    EXPECT_EQ(out.dateTimeUtc, 638000000000000000);

    const std::int32_t planes = clip.planes();
    const std::int32_t bytes = clip.bytesPerSample();
    std::vector<std::uint64_t> stamps;
    std::size_t written = 0;
    for (const FrameRecord& record : run.host.frames) {
        if (record.outcome != FrameRecord::Outcome::Written) {
            EXPECT_EQ(record.index, 3);
            continue;
        }
        ASSERT_LT(written, out.frames.size());
        stamps.push_back(std::uint64_t(clip.timestamps[std::size_t(record.index)]));
        // The track's centre counts rows from the bottom.
        const std::int64_t left = RoundHalfEven(record.centerX) - out.width / 2;
        const std::int64_t bottom = RoundHalfEven(record.centerY) - out.height / 2;
        const std::int64_t top = clip.height - bottom - out.height;
        if (written == 0) {
            EXPECT_EQ(out.colourId,
                      std::int32_t(orbicrop::ser::SerColourAtOffset(orbicrop::ser::SerColour(c.colourId), left, top)));
        }
        const auto& source = clip.frames[std::size_t(record.index)];
        const auto& frame = out.frames[written++];
        for (std::int32_t r = 0; r < out.height; ++r)
            for (std::int32_t x = 0; x < out.width; ++x)
                for (std::int32_t p = 0; p < planes; ++p) {
                    const std::int64_t sx = left + x, sy = top + r;
                    const bool inside = sx >= 0 && sx < clip.width && sy >= 0 && sy < clip.height;
                    const std::uint32_t want = inside ? source[std::size_t((sy * clip.width + sx) * planes + p)] : 0;
                    const std::size_t at = std::size_t(((r * out.width) + x) * planes + p) * std::size_t(bytes);
                    const std::uint32_t got = bytes == 1 ? frame[at] : frame[at] | frame[at + 1] << 8;
                    ASSERT_EQ(got, want) << "frame " << record.index << " row " << r << " column " << x;
                }
    }
    EXPECT_EQ(written, 7u);
    EXPECT_EQ(std::size_t(out.frameCount), written);
    EXPECT_EQ(out.trailer(), stamps);
}

INSTANTIATE_TEST_SUITE_P(Captures, SerRoundTrip,
                         testing::Values(Capture{"Mono8", 0, 8, 8, 40.0, 80},
                                         // Declared 16, the data shows 12: the output says 12.
                                         Capture{"Mono12", 0, 16, 12, 40.0, 80}, Capture{"Mono16", 0, 16, 16, 40.0, 80},
                                         // The mosaic keeps its parity: even centres whatever the
                                         // Debayer Safe choice; an odd height shifts the rows.
                                         Capture{"BayerOddCentre", 8, 12, 12, 41.0, 81},
                                         Capture{"BayerEvenCentre", 9, 12, 12, 40.0, 80},
                                         Capture{"Rgb8", 100, 8, 8, 40.0, 80}, Capture{"Bgr16", 101, 16, 16, 40.0, 80}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerOutput, ACaptureWithoutStampsGivesNoTrailerAndKeepsItsPlainWinJuposName)
{
    SerRun run(true);
    SerClip clip = MakeCapture({"", 0, 8, 8, 40.0, 80}, 4);
    clip.timestamps.clear();
    // A time in the name does not date the frames of a capture that has none.
    ASSERT_EQ(run.process(run.dir.write("2024-03-01-2010_4-cap.ser", clip.bytes())).completed, 1);
    const SerFileContents out = ReadSerFile(run.dir.file("2024-03-01-2010_4-cap_orbic.ser"));
    EXPECT_EQ(out.frameCount, 3);
    EXPECT_TRUE(out.tail.empty());
    EXPECT_NE(std::find_if(run.host.log.begin(), run.host.log.end(),
                           [](const std::string& l) { return l.find("plain name") != std::string::npos; }),
              run.host.log.end());
}

TEST(SerOutput, AnOutputThatCannotBeMadeEndsTheBatchAtOnce)
{
    SerRun run;
    run.host.chosenFiles = {run.dir.write("cap.ser", MakeCapture({"", 0, 8, 8, 40.0, 80}, 2).bytes())};
    ASSERT_TRUE(RunTestAction(run.state, run.host));
    run.state.outputDir = run.dir.file("no-such-dir") + "/";
    EXPECT_THROW(RunProcessAction(run.state, run.host, run.output), orbicrop::ser::SerError);
    EXPECT_FALSE(run.output.isOpen());
}

TEST(SerOutput, WinJuposNameIsTheMiddleOfTheWrittenFramesTimes)
{
    SerRun run(true);
    // Frames 0..7 at 25 per second from kStart; frame 3 dropped; the middle
    // of frames 0 and 7 is 0.14 s after kStart.
    ASSERT_EQ(run.process(run.dir.write("cap.ser", MakeCapture({"", 0, 8, 8, 40.0, 80}, 8).bytes())).completed, 1);
    const std::string name = WinJuposPrefix(kStart + 7 * kFrameTicks / 2) + "cap_orbic.ser";
    EXPECT_TRUE(std::filesystem::exists(run.dir.file(name))) << name;
    EXPECT_FALSE(std::filesystem::exists(run.dir.file("cap_orbic.ser")));
}

// From an 8-bit video the SER output holds the AVI's bytes, rows top-down,
// and dates its frames from the capture time in the name.
TEST(SerOutput, EightBitVideoGivesTheAviBytesDatedFromTheName)
{
    for (bool gray : {false, true}) {
        SerRun run;
        SerClip clip = MakeCapture({"", 101, 8, 8, 40.0, 80}, 5);
        TAviWriter writer(0, 0);
        const std::string input = run.dir.file("20240301_201024_UT.avi");
        writer.setFileName(input);
        writer.setWidth(clip.width);
        writer.setHeight(clip.height);
        writer.OpenVideo(false);
        std::int32_t index = 0;
        for (const auto& samples : clip.frames) {
            OutputBitmap bitmap;
            bitmap.setSize(clip.width, clip.height);
            for (std::int32_t r = 0; r < clip.height; ++r)
                for (std::int32_t x = 0; x < clip.width * 3; ++x)
                    bitmap.rowFromBottom(clip.height - 1 - r)[x] =
                        std::uint8_t(samples[std::size_t(r * clip.width * 3 + x)]);
            writer.AddFrame(bitmap, index++);
        }
        writer.CloseVideo();

        run.host.chosen.grayscale = gray;
        run.host.chosenFiles = {input};
        ASSERT_TRUE(RunTestAction(run.state, run.host));
        TProcessingState aviState = run.state;
        RecordingHost aviHost = run.host;
        run.host.frames.clear();
        ASSERT_EQ(RunProcessAction(run.state, run.host, run.output).completed, 1);
        TAviWriter aviWriter(0, 0);
        AviOutput avi(aviWriter);
        ASSERT_EQ(RunProcessAction(aviState, aviHost, avi).completed, 1)
            << (aviHost.log.empty() ? "" : aviHost.log.back());

        const SerFileContents out = ReadSerFile(run.dir.file("20240301_201024_UT_orbic.ser"));
        EXPECT_EQ(out.colourId, gray ? 0 : 101);
        EXPECT_EQ(out.depth, 8);
        std::string joined;
        for (const auto& frame : out.frames)
            joined.append(frame.begin(), frame.end());
        const std::string aviName = gray ? "20240301_201024_UT_Y8orbic.avi" : "20240301_201024_UT_orbic.avi";
        const std::string decoded = DecodeWithFfmpeg(run.dir.file(aviName), gray ? "gray" : "bgr24", run.dir.path());
        ASSERT_FALSE(decoded.empty());
        EXPECT_TRUE(joined == decoded) << "the SER frames differ from the AVI's";

        const std::int64_t named = *ParseIsoUtc("2024-03-01T20:10:24Z");
        EXPECT_EQ(out.dateTimeUtc, named);
        std::vector<std::uint64_t> stamps;
        for (const FrameRecord& record : run.host.frames)
            if (record.outcome == FrameRecord::Outcome::Written)
                stamps.push_back(
                    std::uint64_t(named + std::llround(record.sampleTime * 1e7)));   // the AVI plays at 30 a second
        EXPECT_EQ(out.trailer(), stamps);
    }
}

}   // namespace
