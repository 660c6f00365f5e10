// SPDX-License-Identifier: GPL-3.0-or-later
// The pixels the FFmpeg frame source hands to the sink: exact for
// uncompressed sources, rows bottom-up, whatever the frame size does.

#include "ffmpeg_clips.h"

#include <algorithm>

using namespace clips;

namespace {

Bytes rgbToBgr(Bytes frames)
{
    for (std::size_t i = 0; i + 2 < frames.size(); i += 3)
        std::swap(frames[i], frames[i + 2]);
    return frames;
}

Bytes grayToBgr(const Bytes& gray)
{
    Bytes out;
    for (std::uint8_t v : gray)
        out.insert(out.end(), {v, v, v});
    return out;
}

struct Size {
    int width;
    int height;
};

class FfmpegUncompressedPixels : public testing::TestWithParam<Size> {
protected:
    ClipFolder folder;
};

}   // namespace

// 33 pixels make rows that AVI pads to a multiple of four bytes.
INSTANTIATE_TEST_SUITE_P(Sizes, FfmpegUncompressedPixels, testing::Values(Size{64, 48}, Size{33, 25}),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

// FFmpeg writes raw RGB AVIs top-down (negative height) unless told that
// its frames come bottom-up already; capture programs write them bottom-up.
TEST_P(FfmpegUncompressedPixels, Bgr24AviArrivesByteForByteBottomUpHoweverStored)
{
    const auto [w, h] = GetParam();
    const Bytes frames = patternFrames(w, h, 4, 3);
    const Bytes expected = flipRows(frames, w * 3, h);
    for (const std::string bottomUp : {"0", "1"}) {
        const auto avi =
            folder.encode(bottomUp == "1" ? expected : frames, "bgr24", w, h, 25,
                          "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb " + bottomUp, "bgr" + bottomUp + ".avi");
        const RecordingSink sink = playFile(avi);
        ASSERT_EQ(sink.frames.size(), 4u);
        EXPECT_EQ(sink.frames[0].length, w * h * 3);
        EXPECT_EQ(sink.allBytes(), expected) << "bottom-up " << bottomUp;
    }
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
    const Bytes frames = patternFrames(w, h, 3, 1);   // every value 0 ... 255 in every frame
    const Bytes expected = flipRows(grayToBgr(frames), w * 3, h);
    for (const std::string tag : {"Y800", "GREY"}) {
        const auto avi =
            folder.encode(frames, "gray", w, h, 25, "-c:v rawvideo -pix_fmt gray -vtag " + tag, tag + ".avi");
        EXPECT_EQ(playFile(avi).allBytes(), expected) << tag;
    }
}

TEST_P(FfmpegUncompressedPixels, PaletteFramesTakeTheirPaletteColours)
{
    const auto [w, h] = GetParam();
    for (const std::string bottomUp : {"0", "1"}) {
        const auto avi =
            folder.encode(patternFrames(w, h, 3, 3), "bgr24", w, h, 25,
                          "-c:v rawvideo -pix_fmt pal8 -flipped_raw_rgb " + bottomUp, "pal" + bottomUp + ".avi");
        const Bytes reference = folder.reference(avi);
        ASSERT_EQ(reference.size(), std::size_t(w) * h * 3 * 3);
        const Bytes received = playFile(avi).allBytes();
        EXPECT_EQ(received, reference) << "bottom-up " << bottomUp;
        // Not a grey ramp: the palette carries colour.
        EXPECT_NE(received, flipRows(grayToBgr(patternFrames(w, h, 3, 1)), w * 3, h));
    }
}

// A stream whose pictures change size part-way still delivers frames of the
// size it announced first, scaled up or down, never more bytes than that.
TEST(FfmpegPixels, FramesOfAnotherSizeAreScaledToTheAnnouncedOne)
{
    ClipFolder folder;
    Bytes joined;
    for (const std::string size : {"64x48", "32x24", "128x96"}) {
        const auto part = folder.ffmpeg(
            "-f lavfi -i color=c=0x3070B0:size=" + size + ":rate=25:d=0.2 -c:v mjpeg -q:v 2 -f mjpeg", size + ".mjpeg");
        const Bytes bytes = ReadFileBytes(part);
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    const auto all = folder.write("all.mjpeg", joined);

    Opened opened = openVideo(all);
    ASSERT_EQ(opened.info.width, 64);
    ASSERT_EQ(opened.info.height, 48);
    // A raw JPEG stream has no length: duration 0 plays it all.
    ASSERT_EQ(opened.info.length, 0.0);
    RecordingSink sink;
    opened.source->play({}, sink);
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
