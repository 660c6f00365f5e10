// SPDX-License-Identifier: GPL-3.0-or-later
// Uncompressed AVIs read straight from the file: the frames, bytes and times
// FFmpeg's decoding gives, and FFmpeg's decoding wherever that is not sure.

#include "ffmpeg_clips.h"

#include "support/measuring_sink.h"

using namespace clips;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

}   // namespace

TEST(AviFrameReader, TakesOnlyStreamsWhoseDecodedBytesItReproduces)
{
    ClipFolder folder;
    const Bytes bgr = patternFrames(kWidth, kHeight, 2, 3);
    EXPECT_TRUE(ReadStraight(folder.encode(flipRows(bgr, kWidth * 3, kHeight), "bgr24", kWidth, kHeight, 25,
                                           "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1", "bottom_up.avi")));
    EXPECT_TRUE(ReadStraight(folder.encode(patternFrames(kWidth, kHeight, 2, 1), "gray", kWidth, kHeight, 25,
                                           "-c:v rawvideo -pix_fmt gray -vtag Y800", "y800.avi")));
    // Rows the sink would need turned over, rows padded to four bytes, a palette.
    EXPECT_FALSE(ReadStraight(folder.encode(bgr, "bgr24", kWidth, kHeight, 25,
                                            "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 0", "top_down.avi")));
    EXPECT_FALSE(ReadStraight(
        folder.encode(patternFrames(33, 25, 2, 3), "bgr24", 33, 25, 25, "-c:v rawvideo -pix_fmt bgr24", "padded.avi")));
    EXPECT_FALSE(ReadStraight(folder.encode(patternFrames(kWidth, kHeight, 2, 1), "gray", kWidth, kHeight, 25,
                                            "-c:v rawvideo -pix_fmt pal8", "palette.avi")));
}

TEST(AviFrameReader, GreyFramesReachAGreySinkAsStoredWithTheirTimesAndLimits)
{
    ClipFolder folder;
    const Bytes frames = patternFrames(kWidth, kHeight, 6, 1);
    const auto avi =
        folder.encode(frames, "gray", kWidth, kHeight, 25, "-c:v rawvideo -pix_fmt gray -vtag Y800", "y800.avi");
    Opened opened = openVideo(avi);

    GraySink all(kWidth, kHeight);
    opened.source->play({}, all);
    ASSERT_EQ(all.frames.size(), 6u);
    EXPECT_EQ(all.allBytes(), frames);
    for (std::size_t k = 0; k < all.frames.size(); ++k)
        EXPECT_DOUBLE_EQ(all.frames[k].sampleTime, double(k) / 25.0);

    GraySink two(kWidth, kHeight);
    opened.source->play(PlayLimits{2}, two);
    EXPECT_EQ(two.frames.size(), 2u);
    // Read straight, frames leave FFmpeg's demuxer where opening left it;
    // decoded ones (for a sink of 24-bit frames) move it on.
    EXPECT_TRUE(opened.source->replaysAsNew());
    RecordingSink colour;
    opened.source->play(PlayLimits{2}, colour);
    EXPECT_EQ(colour.frames.size(), 2u);
    EXPECT_FALSE(opened.source->replaysAsNew());
    colour.frames.clear();
    opened.source->play({}, colour);
    EXPECT_EQ(colour.frames.size(), 6u);
    // 0.12 s: frames 0, 1 and 2 lie before it, frame 3 starts there.
    GraySink beforeStop(kWidth, kHeight);
    opened.source->play(StopAt(1'200'000), beforeStop);
    EXPECT_EQ(beforeStop.frames.size(), 3u);
}

// Frames read and measured by several threads reach the sink in order, each
// with its own measurement: a bright square that moves along the frames.
TEST(AviFrameReader, FramesMeasuredAheadComeWithTheirOwnMeasurement)
{
    ClipFolder folder;
    constexpr int kFrames = 30;
    Bytes frames;
    for (int f = 0; f < kFrames; ++f)
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                frames.push_back(x >= f && x < f + 12 && y >= 10 && y < 22 ? 250 : 20);
    for (const bool gray : {true, false}) {
        const std::string avi = gray
            ? folder.encode(frames, "gray", kWidth, kHeight, 25, "-c:v rawvideo -pix_fmt gray -vtag Y800", "y800.avi")
            : folder.encode(frames, "gray", kWidth, kHeight, 25, "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1",
                            "bgr.avi");
        ASSERT_TRUE(ReadStraight(avi));
        Opened opened = openVideo(avi);
        MeasuringSink sink(kWidth, kHeight, gray);
        opened.source->play({}, sink);
        ASSERT_EQ(sink.centres.size(), std::size_t(kFrames));
        EXPECT_EQ(sink.measuredAhead, kFrames);
        EXPECT_EQ(sink.wrong, 0);
        EXPECT_TRUE(std::is_sorted(sink.centres.begin(), sink.centres.end()));
        EXPECT_LT(sink.centres.front() + 20.0, sink.centres.back());
    }
}
