// The pixels the FFmpeg frame source hands to the sink: exact for
// uncompressed sources, rows bottom-up, and as FFmpeg's own accurate
// conversion for YUV codecs.

#include "ffmpeg_clips.h"

#include <algorithm>

using namespace clips;

namespace {

// Largest difference between two equally long byte strings.
int maxDifference(const Bytes& a, const Bytes& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

Bytes rgbToBgr(Bytes frames)
{
    for (std::size_t i = 0; i + 2 < frames.size(); i += 3) std::swap(frames[i], frames[i + 2]);
    return frames;
}

Bytes grayToBgr(const Bytes& gray)
{
    Bytes out;
    for (std::uint8_t v : gray) out.insert(out.end(), {v, v, v});
    return out;
}

struct Size {
    int width;
    int height;
};

class FfmpegUncompressedPixels : public testing::TestWithParam<Size> {
protected:
    Folder folder;
};

} // namespace

// 33 pixels make rows that AVI pads to a multiple of four bytes.
INSTANTIATE_TEST_SUITE_P(Sizes, FfmpegUncompressedPixels, testing::Values(Size{64, 48}, Size{33, 25}),
                         [](const auto& info) { return std::to_string(info.param.width) + "x" + std::to_string(info.param.height); });

TEST_P(FfmpegUncompressedPixels, Bgr24AviArrivesByteForByteBottomUp)
{
    const auto [w, h] = GetParam();
    const Bytes frames = patternFrames(w, h, 4, 3);
    const auto avi = folder.encode(frames, "bgr24", w, h, 25, "-c:v rawvideo -pix_fmt bgr24", "bgr.avi");
    const RecordingSink sink = playFile(avi);
    ASSERT_EQ(sink.frames.size(), 4u);
    EXPECT_EQ(sink.frames[0].length, w * h * 3);
    EXPECT_EQ(sink.allBytes(), flipRows(frames, w * 3, h));
}

TEST_P(FfmpegUncompressedPixels, Rgb24TopDownArrivesReorderedAndFlipped)
{
    const auto [w, h] = GetParam();
    const Bytes frames = patternFrames(w, h, 3, 3);
    const auto nut = folder.encode(frames, "rgb24", w, h, 25, "-c:v rawvideo -pix_fmt rgb24", "rgb.nut");
    EXPECT_EQ(playFile(nut).allBytes(), flipRows(rgbToBgr(frames), w * 3, h));
}

TEST_P(FfmpegUncompressedPixels, GreyKeepsItsValuesInAllThreeChannels)
{
    const auto [w, h] = GetParam();
    const Bytes frames = patternFrames(w, h, 3, 1); // every value 0 ... 255 in every frame
    const Bytes expected = flipRows(grayToBgr(frames), w * 3, h);
    for (const std::string tag : {"Y800", "GREY"}) {
        const auto avi = folder.encode(frames, "gray", w, h, 25, "-c:v rawvideo -pix_fmt gray -vtag " + tag, tag + ".avi");
        EXPECT_EQ(playFile(avi).allBytes(), expected) << tag;
    }
}

TEST_P(FfmpegUncompressedPixels, PaletteFramesTakeTheirPaletteColours)
{
    const auto [w, h] = GetParam();
    const auto avi = folder.encode(patternFrames(w, h, 3, 3), "bgr24", w, h, 25, "-c:v rawvideo -pix_fmt pal8", "pal.avi");
    const Bytes reference = folder.reference(avi);
    ASSERT_EQ(reference.size(), std::size_t(w) * h * 3 * 3);
    const Bytes received = playFile(avi).allBytes();
    EXPECT_EQ(received, reference);
    // Not a grey ramp: the palette carries colour.
    EXPECT_NE(received, flipRows(grayToBgr(patternFrames(w, h, 3, 1)), w * 3, h));
}

namespace {

struct YuvCase {
    std::string name;
    std::string output;   // file name
    std::string encoder;  // output arguments
    Size size;
};

class FfmpegYuvPixels : public testing::TestWithParam<YuvCase> {
protected:
    Folder folder;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Codecs, FfmpegYuvPixels,
    testing::Values(YuvCase{"Mjpeg422OddSize", "mjpeg.avi", "-c:v mjpeg -pix_fmt yuvj422p -q:v 3", {33, 25}},
                    YuvCase{"Mjpeg420", "mjpeg420.avi", "-c:v mjpeg -pix_fmt yuvj420p -q:v 3", {64, 48}},
                    YuvCase{"Mpeg1", "mpeg1.mpg", "-c:v mpeg1video -q:v 2", {64, 48}},
                    YuvCase{"Mpeg2", "mpeg2.mpg", "-c:v mpeg2video -q:v 2", {64, 48}},
                    YuvCase{"H264Mp4", "h264.mp4", "-c:v libx264 -pix_fmt yuv420p", {64, 48}},
                    YuvCase{"H264Bt709FullRangeMkv", "h264.mkv",
                            "-c:v libx264 -pix_fmt yuvj420p -colorspace bt709 -color_range pc", {64, 48}},
                    YuvCase{"Yuv444Nut", "yuv444.nut", "-c:v rawvideo -pix_fmt yuv444p", {33, 25}}),
    [](const auto& info) { return info.param.name; });

TEST_P(FfmpegYuvPixels, ConvertLikeFfmpegsAccurateScaler)
{
    const YuvCase& c = GetParam();
    const std::string size = std::to_string(c.size.width) + "x" + std::to_string(c.size.height);
    const auto clip = folder.ffmpeg("-f lavfi -i testsrc=size=" + size + ":rate=25 -frames:v 6 " + c.encoder, c.output);
    const Bytes reference = folder.reference(clip);
    ASSERT_EQ(reference.size(), std::size_t(c.size.width) * c.size.height * 3 * 6);
    const RecordingSink sink = playFile(clip);
    ASSERT_EQ(sink.frames.size(), 6u);
    const Bytes received = sink.allBytes();
    EXPECT_EQ(maxDifference(received, reference), 0);
}

// A stream whose pictures change size part-way still delivers frames of the
// size it announced first, scaled up or down, never more bytes than that.
TEST(FfmpegPixels, FramesOfAnotherSizeAreScaledToTheAnnouncedOne)
{
    Folder folder;
    Bytes joined;
    for (const std::string size : {"64x48", "32x24", "128x96"}) {
        const auto part = folder.ffmpeg("-f lavfi -i color=c=0x3070B0:size=" + size + ":rate=25:d=0.2 -c:v mjpeg -q:v 2 -f mjpeg",
                                        size + ".mjpeg");
        const Bytes bytes = Folder::read(part);
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    const auto all = folder.write("all.mjpeg", joined);

    Opened opened = openVideo(all);
    ASSERT_EQ(opened.info.width, 64);
    ASSERT_EQ(opened.info.height, 48);
    // A raw JPEG stream has no length: duration 0 plays it all.
    ASSERT_EQ(opened.source->duration(), 0);
    RecordingSink sink;
    opened.source->play(0, 0, sink);
    ASSERT_EQ(sink.frames.size(), 15u);
    for (const Received& frame : sink.frames) {
        ASSERT_EQ(frame.length, 64 * 48 * 3);
        // The flat colour (blue 0xB0, green 0x70, red 0x30) everywhere,
        // within the codec's error.
        for (std::size_t i = 0; i < frame.bytes.size(); i += 3) {
            ASSERT_NEAR(frame.bytes[i], 0xB0, 4) << i;
            ASSERT_NEAR(frame.bytes[i + 1], 0x70, 4) << i;
            ASSERT_NEAR(frame.bytes[i + 2], 0x30, 4) << i;
        }
    }
}
