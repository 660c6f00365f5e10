// SPDX-License-Identifier: GPL-3.0-or-later
// Playing files with the FFmpeg frame source: which frames reach the sink,
// in what order, on which thread, and how playing ends.

#include "ffmpeg_clips.h"

#include <cstring>

using namespace clips;

namespace {

struct Container {
    std::string name;
    std::string output;
    std::string encoder;
    int rate;
    int frames;
};

class FfmpegContainers : public testing::TestWithParam<Container> {
protected:
    ClipFolder folder;
};

}   // namespace

// MPEG program streams need frames of realistic coded size: FFmpeg estimates
// their length from the last timestamps, and tiny pictures share packets.
INSTANTIATE_TEST_SUITE_P(Files, FfmpegContainers,
                         testing::Values(Container{"RawAvi", "raw.avi", "-c:v rawvideo -pix_fmt bgr24", 25, 10},
                                         Container{"MjpegAvi", "mjpeg.avi", "-c:v mjpeg -q:v 3", 25, 10},
                                         Container{"H264Mp4", "h264.mp4", "-c:v libx264 -pix_fmt yuv420p", 30, 30},
                                         Container{"H264Mov", "h264.mov", "-c:v libx264 -pix_fmt yuv420p", 30, 30},
                                         Container{"H264Mkv", "h264.mkv", "-c:v libx264 -pix_fmt yuv420p", 30, 30},
                                         Container{"Mpeg1Mpg", "mpeg1.mpg", "-c:v mpeg1video -b:v 8M", 25, 25},
                                         Container{"Mpeg2BframesMpg", "mpeg2.mpg", "-c:v mpeg2video -bf 2 -b:v 8M", 25,
                                                   25}),
                         [](const auto& info) { return info.param.name; });

TEST_P(FfmpegContainers, EveryFrameOnceInOrderOnTheCallingThreadAndRateTimesLengthCountsThem)
{
    const Container& c = GetParam();
    const int w = 320, h = 240;
    const auto clip = folder.encode(indexedFrames(w, h, c.frames, true), "bgr24", w, h, c.rate, c.encoder, c.output);
    Opened opened = openVideo(clip);
    EXPECT_EQ(opened.info.width, w);
    EXPECT_EQ(opened.info.height, h);
    EXPECT_DOUBLE_EQ(opened.info.frameRate, c.rate);
    EXPECT_EQ(std::nearbyint(opened.info.frameRate * opened.info.length), c.frames);

    RecordingSink sink, again;
    opened.source->play({}, sink);
    EXPECT_EQ(sink.indices(), iota(c.frames));
    // Back from the end, where the demuxer's index is whole.
    opened.source->play({}, again);
    EXPECT_EQ(again.indices(), iota(c.frames));
    ASSERT_FALSE(sink.frames.empty());
    EXPECT_NEAR(sink.frames[0].sampleTime, 0.0, 1e-9);
    for (std::size_t i = 0; i < sink.frames.size(); ++i) {
        EXPECT_EQ(sink.frames[i].thread, std::this_thread::get_id()) << i;
        EXPECT_EQ(sink.frames[i].length, w * h * 3) << i;
        if (i > 0) {
            EXPECT_NEAR(sink.frames[i].sampleTime - sink.frames[i - 1].sampleTime, 1.0 / c.rate, 1e-3) << i;
        }
    }
}

// Positions count from the stream's first frame, whatever its timestamp
// (MPEG program streams start at 0.54 s, B-frames shift others), and a
// second play starts there again, with the decoder on one thread or on
// many. Matroska keeps whole milliseconds, hence
// the margin past the third frame.
TEST_P(FfmpegContainers, PositionsCountFromTheFirstFrameAndASecondPlayStartsThere)
{
    const Container& c = GetParam();
    const auto clip = folder.encode(indexedFrames(64, 48, c.frames), "bgr24", 64, 48, c.rate, c.encoder, c.output);
    const std::int64_t thirdFrame = std::llround(2e7 / c.rate);
    EXPECT_EQ(playFile(clip, thirdFrame - 1).indices(), iota(2));
    EXPECT_EQ(playFile(clip, thirdFrame + 5'000, 2).indices(), iota(2));

    Opened opened = openVideo(clip);
    RecordingSink first, second;
    opened.source->play(StopAt(thirdFrame + 5'000), first);
    opened.source->play({}, second);
    EXPECT_EQ(first.indices(), iota(3));
    EXPECT_EQ(second.indices(), iota(c.frames));
    // A test's two frames decode on one thread; a whole play after them on
    // the same source decodes on many, from the first frame again.
    PlayLimits two;
    two.maxFrames = 2;
    RecordingSink few, all;
    opened.source->play(two, few);
    opened.source->play({}, all);
    EXPECT_EQ(few.indices(), iota(2));
    EXPECT_EQ(all.indices(), iota(c.frames));
}

namespace {

class FfmpegPlay : public testing::Test {
protected:
    // Flat frames telling their index, uncompressed.
    std::string clip(int rate, int frames)
    {
        return folder.encode(indexedFrames(32, 24, frames), "bgr24", 32, 24, rate, "-c:v rawvideo -pix_fmt bgr24",
                             std::to_string(rate) + "fps" + std::to_string(frames) + ".avi");
    }

    ClipFolder folder;
};

}   // namespace

TEST_F(FfmpegPlay, StopPositionDeliversOnlyFramesStrictlyBeforeIt)
{
    const auto avi = clip(25, 10);
    EXPECT_EQ(playFile(avi, 800'000).indices(), iota(2));   // frames at 0 and 40 ms, not at 80 ms
    EXPECT_EQ(playFile(avi, 800'001).indices(), iota(3));
    EXPECT_EQ(playFile(avi, 1).indices(), iota(1));
    EXPECT_TRUE(playFile(avi, 0).frames.empty());
}

// A two-frame test at 30 fps stops at 2 / 30 s rounded to 666 667, just past
// the third frame's 666 666.7: the frame limit keeps it at two.
TEST_F(FfmpegPlay, FrameLimitHoldsWhereTheRoundedStopWouldAdmitAThirdFrame)
{
    const auto avi = clip(30, 10);
    EXPECT_EQ(playFile(avi, 666'667, 0).indices(), iota(3));
    EXPECT_EQ(playFile(avi, 666'667, 2).indices(), iota(2));
    EXPECT_EQ(playFile(avi, 666'667, 5).indices(), iota(3));
}

TEST_F(FfmpegPlay, FrameLimitAloneAndStopAtOrPastTheEndPlayEverything)
{
    const auto avi = clip(25, 10);
    Opened opened = openVideo(avi);
    const std::int64_t duration = std::llround(opened.info.length * 1e7);
    ASSERT_EQ(duration, 4'000'000);
    EXPECT_EQ(playFile(avi, duration, 4).indices(), iota(4));
    EXPECT_EQ(playFile(avi, duration, 10).indices(), iota(10));
    EXPECT_EQ(playFile(avi, duration, 0).indices(), iota(10));
    EXPECT_EQ(playFile(avi, duration * 3, 0).indices(), iota(10));
}

namespace {

// Records frames and throws from the call with the given index.
class ThrowingSink : public RecordingSink {
public:
    explicit ThrowingSink(std::size_t throwAt) : m_throwAt(throwAt) {}
    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t length) override
    {
        RecordingSink::BufferCB(sampleTime, buffer, length);
        if (frames.size() == m_throwAt + 1)
            throw std::logic_error("sink gave up");
        return 0;
    }

private:
    std::size_t m_throwAt;
};

}   // namespace

// The decoding thread runs ahead and fills the queue while the sink is
// busy; the exception must reach the caller with that thread stopped.
TEST_F(FfmpegPlay, SinkExceptionEndsPlayWithNoFurtherCalls)
{
    const auto avi = clip(25, 30);
    for (std::size_t throwAt : {0u, 2u, 29u}) {
        Opened opened = openVideo(avi);
        ThrowingSink sink(throwAt);
        try {
            opened.source->play({}, sink);
            ADD_FAILURE() << "play returned normally";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "sink gave up");
        }
        EXPECT_EQ(sink.indices(), iota(int(throwAt) + 1));
    }
}

// Bottom-up BGR24 frames reach the sink in the decoder's own buffer.
TEST_F(FfmpegPlay, SinkMayWriteIntoTheBufferWithoutHarmingLaterFrames)
{
    const Bytes frames = patternFrames(32, 24, 8, 3);
    const Bytes bottomUp = flipRows(frames, 32 * 3, 24);
    const auto avi =
        folder.encode(bottomUp, "bgr24", 32, 24, 25, "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1", "pattern.avi");
    class ScribblingSink : public RecordingSink {
    public:
        std::int32_t BufferCB(double t, std::uint8_t* buffer, std::int32_t length) override
        {
            RecordingSink::BufferCB(t, buffer, length);
            std::memset(buffer, 0xEE, std::size_t(length));
            return 0;
        }
    } sink;
    Opened opened = openVideo(avi);
    opened.source->play({}, sink);
    EXPECT_EQ(sink.allBytes(), bottomUp);
}

namespace {

// Zeroes the payload of the n-th chunk with the given id in a RIFF file's
// movi list.
void zeroChunk(Bytes& riff, const std::string& id, int n)
{
    const std::string movi = "movi";
    auto at = std::search(riff.begin(), riff.end(), movi.begin(), movi.end());
    ASSERT_NE(at, riff.end());
    for (int seen = 0;; ++seen) {
        at = std::search(at, riff.end(), id.begin(), id.end());
        ASSERT_NE(at, riff.end()) << "chunk " << n << " not found";
        const std::size_t offset = std::size_t(at - riff.begin());
        const std::uint32_t size =
            riff[offset + 4] | riff[offset + 5] << 8 | riff[offset + 6] << 16 | std::uint32_t(riff[offset + 7]) << 24;
        if (seen == n) {
            std::fill_n(riff.begin() + std::ptrdiff_t(offset + 8), size, 0);
            return;
        }
        at += 8 + size;
    }
}

}   // namespace

TEST_F(FfmpegPlay, UndecodablePacketInTheMiddleIsSkipped)
{
    const auto avi = folder.encode(indexedFrames(32, 24, 10), "bgr24", 32, 24, 25, "-c:v mjpeg -q:v 3", "mjpeg.avi");
    Bytes bytes = ReadFileBytes(avi);
    zeroChunk(bytes, "00dc", 4);
    const auto damaged = folder.write("damaged.avi", bytes);
    EXPECT_EQ(playFile(damaged).indices(), (std::vector<int>{0, 1, 2, 3, 5, 6, 7, 8, 9}));
}

// A recording cut short (a full disk, a crash) still plays up to the cut.
TEST_F(FfmpegPlay, TruncatedFilePlaysTheFramesBeforeTheCut)
{
    const auto mp4 = folder.encode(indexedFrames(64, 48, 20, true), "bgr24", 64, 48, 25,
                                   "-c:v libx264 -bf 0 -movflags +faststart", "cut.mp4");
    Bytes bytes = ReadFileBytes(mp4);
    bytes.resize(bytes.size() * 2 / 3);
    const auto cut = folder.write("cut short.mp4", bytes);
    const RecordingSink sink = playFile(cut);
    ASSERT_GT(sink.frames.size(), 3u);
    ASSERT_LT(sink.frames.size(), 20u);
    EXPECT_EQ(sink.indices(), iota(int(sink.frames.size())));
}

// A sink's non-zero status ends playing at once, without an error, and the
// source plays again from the start afterwards (decoding ran ahead of it).
TEST(FfmpegSink, AskingToStopEndsPlayingWithoutAnError)
{
    ClipFolder folder;
    const auto avi = folder.ffmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:d=0.8 -c:v mjpeg", "stop.avi");
    Opened opened = openVideo(avi);
    RecordingSink first;
    first.stopAfter = 3;
    opened.source->play({}, first);
    EXPECT_EQ(first.frames.size(), 3u);
    RecordingSink again;
    opened.source->play({}, again);
    EXPECT_EQ(again.frames.size(), 20u);
}
