// SPDX-License-Identifier: GPL-3.0-or-later
// Plays that start at a later frame, in every source: the frames a play from
// the start delivers there, with their pixels and times, and no others.

#include "ffmpeg_clips.h"

#include "support/ser_writer.h"
#include "video/avi/plain_avi_source.h"
#include "video/ser/ser_source.h"

#include <functional>
#include <limits>
#include <optional>
#include <ostream>

using namespace clips;

namespace {

constexpr int kFrames = 40;
// Between the key frames of clips made with -g 10, so that a seek lands
// three frames before it.
constexpr int kFirst = 13;

struct Frame {
    double sampleTime;
    Bytes picture;
    std::optional<std::int64_t> captureTime;
    friend bool operator==(const Frame&, const Frame&) = default;
    friend void PrintTo(const Frame& frame, std::ostream* os) { *os << "the frame at " << frame.sampleTime << " s"; }
};

class FrameRecorder : public FrameSink {
public:
    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        frames.push_back({frame.sampleTime, Bytes(frame.buffer, frame.buffer + frame.bufferLength),
                          frame.native ? frame.native->utcTicks : std::nullopt});
        return 0;
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override { return 0; }

    std::vector<Frame> frames;
};

using Opener = std::unique_ptr<FrameSource> (*)(const std::string&);

struct Reader {
    std::string name;
    std::function<std::string(const ClipFolder&)> make;
    Opener open;
    bool straight = false;   // FFmpeg's source reads the AVI straight from the file
};

void PrintTo(const Reader& reader, std::ostream* os)
{
    *os << reader.name;
}

std::unique_ptr<FrameSource> OpenWithFfmpeg(const std::string& path)
{
    return std::make_unique<FfmpegSource>(path);
}

// Frames that differ from one another in every pixel, each with its own
// capture time.
std::string MakeSer(const ClipFolder& folder)
{
    SerClip clip;
    clip.width = 32;
    clip.height = 24;
    for (int f = 0; f < kFrames; ++f) {
        clip.addFrame([f](std::int32_t x, std::int32_t y, std::int32_t) { return (x * 5 + y * 3 + f * 11) & 255; });
        clip.timestamps.push_back(638400000000000000 + f * 400'000 + (f % 3) * 1'000);
    }
    return folder.write("clip.ser", clip.bytes());
}

// A moving test picture, encoded with arguments into output.
std::function<std::string(const ClipFolder&)> Encoded(std::string size, std::string arguments, std::string output)
{
    return [=](const ClipFolder& folder) {
        return folder.ffmpeg("-f lavfi -i testsrc2=size=" + size + ":rate=30 -frames:v " + std::to_string(kFrames) + " "
                                 + arguments,
                             output);
    };
}

// Uncompressed rows bottom-up, as capture programs write them.
std::string MakePlainAvi(const ClipFolder& folder)
{
    constexpr int kWidth = 64, kHeight = 48;
    return folder.encode(flipRows(patternFrames(kWidth, kHeight, kFrames, 3), kWidth * 3, kHeight), "bgr24", kWidth,
                         kHeight, 25, "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1", "plain.avi");
}

class FirstFrame : public testing::TestWithParam<Reader> {
protected:
    std::vector<Frame> play(FrameSource& source, std::int32_t first, std::int32_t maxFrames = 0,
                            double stopTime = std::numeric_limits<double>::infinity())
    {
        PlayLimits limits;
        limits.firstFrame = first;
        limits.maxFrames = maxFrames;
        limits.stopTime = stopTime;
        return play(source, limits);
    }
    std::vector<Frame> play(FrameSource& source, const PlayLimits& limits)
    {
        FrameRecorder sink;
        source.play(limits, sink);
        return sink.frames;
    }

    ClipFolder folder;
};

}   // namespace

// H.264 with B-frames: presentation is not decoding order. MPEG-2 in a
// program stream: its first frame lies at 0.5 s, GOPs are open and seeking
// searches the file. Matroska keeps whole milliseconds. MPEG-4 B-frames in
// an AVI come without presentation times: frame k is counted off from the
// start.
INSTANTIATE_TEST_SUITE_P(
    Sources, FirstFrame,
    testing::Values(
        Reader{"Ser", MakeSer, [](const std::string& p) { return OpenSerSource(p); }},
        Reader{"PlainAvi", MakePlainAvi, OpenPlainAviSource}, Reader{"StraightAvi", MakePlainAvi, OpenWithFfmpeg, true},
        Reader{"MjpegAvi", Encoded("64x48", "-c:v mjpeg", "mjpeg.avi"), OpenWithFfmpeg},
        Reader{"H264Mp4", Encoded("64x48", "-c:v libx264 -g 10 -bf 2 -pix_fmt yuv420p", "h264.mp4"), OpenWithFfmpeg},
        Reader{"H264Mkv", Encoded("64x48", "-c:v libx264 -g 10 -bf 2 -pix_fmt yuv420p", "h264.mkv"), OpenWithFfmpeg},
        Reader{"Mpeg2Mpg", Encoded("320x240", "-c:v mpeg2video -g 10 -bf 2 -b:v 8M", "mpeg2.mpg"), OpenWithFfmpeg},
        Reader{"Mpeg4BframesAvi", Encoded("64x48", "-c:v mpeg4 -g 10 -bf 2", "mpeg4.avi"), OpenWithFfmpeg}),
    [](const auto& info) { return info.param.name; });

// Frame k is asked for first, from a source that has read nothing yet, and
// again once a whole play has taken the source to the end.
TEST_P(FirstFrame, DeliversFromFrameKWhatAPlayFromTheStartDeliversThere)
{
    const Reader& reader = GetParam();
    const std::string path = reader.make(folder);
    if (reader.straight) {
        ASSERT_TRUE(ReadStraight(path));
    }
    const std::unique_ptr<FrameSource> source = reader.open(path);
    ASSERT_TRUE(source);
    ASSERT_TRUE(source->video());

    const std::vector<Frame> fromK = play(*source, kFirst, 5);
    const std::vector<Frame> whole = play(*source, 0);
    ASSERT_EQ(whole.size(), std::size_t(kFrames));
    EXPECT_EQ(fromK, std::vector<Frame>(whole.begin() + kFirst, whole.begin() + kFirst + 5));

    // A stop time counts from the stream's start, not from frame k.
    const double beforeSixteenth = (whole[16].sampleTime + whole[15].sampleTime) / 2;
    EXPECT_EQ(play(*source, kFirst, 0, beforeSixteenth),
              std::vector<Frame>(whole.begin() + kFirst, whole.begin() + 16));
    EXPECT_EQ(play(*source, kFrames - 1), std::vector<Frame>(whole.end() - 1, whole.end()));
    EXPECT_TRUE(play(*source, kFrames).empty());
    EXPECT_TRUE(play(*source, kFrames + 100).empty());
    EXPECT_EQ(play(*source, -3, 2), std::vector<Frame>(whole.begin(), whole.begin() + 2));
}

// The command-line tool's test plays the first frames, saying that the run
// follows, and hands its source to the run: the run must get every frame a
// newly opened source gives, whether the decoder goes on from the test's
// frames or (asked for other threads, or for a later first frame) cannot.
TEST_P(FirstFrame, TheRunAfterATestGetsWhatANewSourceGives)
{
    const Reader& reader = GetParam();
    const std::string path = reader.make(folder);
    const auto opened = [&] {
        std::unique_ptr<FrameSource> source = reader.open(path);
        EXPECT_TRUE(source && source->video());
        return source;
    };
    const std::vector<Frame> whole = play(*opened(), 0);
    ASSERT_EQ(whole.size(), std::size_t(kFrames));

    struct Case {
        std::int32_t runThreads;
        std::int32_t runFirst;
        double testStop;   // as the test stops: the third frame's time, and two frames
    };
    const double third = whole[2].sampleTime;
    for (const Case& c : {Case{0, 0, third}, Case{0, 0, std::numeric_limits<double>::infinity()}, Case{1, 0, third},
                          Case{0, kFirst, third}}) {
        SCOPED_TRACE(testing::Message() << "run threads " << c.runThreads << ", from frame " << c.runFirst);
        const std::unique_ptr<FrameSource> source = opened();
        PlayLimits test;
        test.maxFrames = 2;
        test.stopTime = c.testStop;
        test.runFollows = true;
        EXPECT_EQ(play(*source, test), std::vector<Frame>(whole.begin(), whole.begin() + 2));
        EXPECT_TRUE(source->replaysAsNew());
        PlayLimits run;
        run.decoderThreads = c.runThreads;
        run.firstFrame = c.runFirst;
        EXPECT_EQ(play(*source, run), std::vector<Frame>(whole.begin() + c.runFirst, whole.end()));
        // A second pass over the file (keep-best writes on one) goes back.
        EXPECT_EQ(play(*source, 0), whole);
    }
}

// A file shorter than the decoder's reordering delay ends while the test
// plays, and the frames the test did not take wait in the drained decoder.
TEST(TestThenRun, AFileThatEndsDuringTheTestGivesTheRunEveryFrame)
{
    ClipFolder folder;
    const std::string path = folder.ffmpeg(
        "-f lavfi -i testsrc2=size=64x48:rate=30 -frames:v 3 -c:v libx264 -bf 2 -pix_fmt yuv420p", "short.mp4");
    FrameRecorder whole;
    FfmpegSource fresh(path);
    ASSERT_TRUE(fresh.video());
    fresh.play({}, whole);
    ASSERT_EQ(whole.frames.size(), 3u);

    FfmpegSource source(path);
    ASSERT_TRUE(source.video());
    PlayLimits test;
    test.maxFrames = 2;
    test.runFollows = true;
    FrameRecorder tested, run;
    source.play(test, tested);
    ASSERT_TRUE(source.replaysAsNew());
    source.play({}, run);
    EXPECT_EQ(run.frames, whole.frames);
}
