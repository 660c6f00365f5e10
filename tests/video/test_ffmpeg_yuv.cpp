// SPDX-License-Identifier: GPL-3.0-or-later
// YUV sources through the FFmpeg frame source: chroma interpolated at the
// position the stream states, and each codec's matrix and range honoured.

#include "ffmpeg_clips.h"

#include <algorithm>
#include <array>

using namespace clips;

namespace {

// Weight of chroma sample i (of n, sample k placed at luma 2k + offset) at
// luma position x under bilinear interpolation, samples beyond the edges
// repeating the edge sample.
double tentWeight(int x, int i, int n, double offset)
{
    double weight = 0;
    for (int k = -3; k < n + 3; ++k)
        if (std::clamp(k, 0, n - 1) == i)
            weight += std::max(0.0, 1.0 - std::abs(x - (2.0 * k + offset)) / 2.0);
    return weight;
}

struct ImpulseCase {
    std::string name;
    std::string pixelFormat;   // yuv420p or yuv422p
    std::string location;      // as the file states it
    std::string output;        // Matroska cannot state every siting; lossless H.264 can
    double horizontalOffset;   // where chroma sample k sits: luma 2k + offset
    double verticalOffset;     // (4:2:0 only)
    int width, height;
    int chromaX, chromaY;   // the sample that differs
};

class FfmpegChromaSiting : public testing::TestWithParam<ImpulseCase> {
protected:
    ClipFolder folder;
};

}   // namespace

INSTANTIATE_TEST_SUITE_P(
    Sites, FfmpegChromaSiting,
    testing::Values(ImpulseCase{"Centre420", "yuv420p", "center", "mkv", 0.5, 0.5, 8, 8, 1, 1},
                    ImpulseCase{"Unlabelled420IsCentred", "yuv420p", "unspecified", "mkv", 0.5, 0.5, 8, 8, 1, 1},
                    ImpulseCase{"Left420", "yuv420p", "left", "mkv", 0.0, 0.5, 8, 8, 1, 1},
                    ImpulseCase{"TopLeft420", "yuv420p", "topleft", "mkv", 0.0, 0.0, 8, 8, 1, 1},
                    ImpulseCase{"Top420", "yuv420p", "top", "mkv", 0.5, 0.0, 8, 8, 2, 2},
                    ImpulseCase{"Bottom420", "yuv420p", "bottom", "mp4", 0.5, 1.0, 8, 8, 2, 1},
                    ImpulseCase{"Left422", "yuv422p", "left", "mkv", 0.0, 0.0, 8, 6, 2, 3},
                    ImpulseCase{"Centre420OddSizeAtTheFarEdge", "yuv420p", "center", "mkv", 0.5, 0.5, 9, 7, 4, 3},
                    ImpulseCase{"Left420OddSizeAtTheFarEdge", "yuv420p", "left", "mkv", 0.0, 0.5, 9, 7, 4, 3},
                    ImpulseCase{"Centre420AtTheNearEdge", "yuv420p", "center", "mkv", 0.5, 0.5, 8, 8, 0, 0}),
    [](const auto& info) { return info.param.name; });

// Grey luma and neutral chroma but for one Cb sample 40 above neutral, full
// range BT.601: every pixel's blue rises by 1.772 x 40 x its interpolation
// weight and its green falls by 0.3441 x 40 x the weight.
TEST_P(FfmpegChromaSiting, ChromaImpulseSpreadsBilinearlyAroundItsSite)
{
    const ImpulseCase& c = GetParam();
    const bool verticallySubsampled = c.pixelFormat == "yuv420p";
    const int chromaWidth = (c.width + 1) / 2;
    const int chromaHeight = verticallySubsampled ? (c.height + 1) / 2 : c.height;
    Bytes yuv(std::size_t(c.width) * c.height, 128);
    Bytes u(std::size_t(chromaWidth) * chromaHeight, 128);
    u[std::size_t(c.chromaY) * chromaWidth + c.chromaX] = 168;
    const Bytes v(u.size(), 128);
    yuv.insert(yuv.end(), u.begin(), u.end());
    yuv.insert(yuv.end(), v.begin(), v.end());

    const std::string raw = folder.write("impulse.yuv", yuv);
    const std::string codec = c.output == "mp4" ? "libx264 -qp 0" : "rawvideo";
    const auto clip = folder.ffmpeg("-f rawvideo -pix_fmt " + c.pixelFormat + " -s " + std::to_string(c.width) + "x"
                                        + std::to_string(c.height) + " -r 25 -i '" + raw + "' -c:v " + codec
                                        + " -color_range pc -colorspace bt470bg -chroma_sample_location " + c.location,
                                    "impulse." + c.output);
    const RecordingSink sink = playFile(clip);
    ASSERT_EQ(sink.frames.size(), 1u);
    const Bytes& bgr = sink.frames[0].bytes;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const double wy =
                verticallySubsampled ? tentWeight(y, c.chromaY, chromaHeight, c.verticalOffset) : (y == c.chromaY);
            const double w = tentWeight(x, c.chromaX, chromaWidth, c.horizontalOffset) * wy;
            const std::uint8_t* pixel = bgr.data() + (std::size_t(c.height - 1 - y) * c.width + x) * 3;
            EXPECT_EQ(pixel[0], std::lround(128 + 1.772 * 40 * w)) << "blue at " << x << "," << y;
            EXPECT_EQ(pixel[1], std::lround(128 - 0.344136 * 40 * w)) << "green at " << x << "," << y;
            EXPECT_EQ(pixel[2], 128) << "red at " << x << "," << y;
        }
}

namespace {

// Colour bars, 16 pixels each, as BGR, between levels 32 and 192 so that
// neither a wrong range nor a wrong matrix can hide in clipping.
constexpr std::uint8_t kLo = 32, kHi = 192;
constexpr std::array<std::array<std::uint8_t, 3>, 8> kBars{{{kHi, kHi, kHi},
                                                            {kLo, kHi, kHi},
                                                            {kHi, kHi, kLo},
                                                            {kLo, kHi, kLo},
                                                            {kHi, kLo, kHi},
                                                            {kLo, kLo, kHi},
                                                            {kHi, kLo, kLo},
                                                            {kLo, kLo, kLo}}};

Bytes barFrames(int width, int height, int count)
{
    Bytes bytes;
    for (int k = 0; k < count; ++k)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const auto& bar = kBars[std::size_t(std::min(x / 16, 7))];
                bytes.insert(bytes.end(), bar.begin(), bar.end());
            }
    return bytes;
}

struct BarsCase {
    std::string name;
    std::string output;
    std::string encoder;
    int width, height;
};

class FfmpegYuvColours : public testing::TestWithParam<BarsCase> {
protected:
    ClipFolder folder;
};

}   // namespace

// ffmpeg turns the bars into YUV with the matrix and range each file is
// labelled with; decoding must undo exactly that. A wrong range or matrix
// misses some bar by ten levels or more.
INSTANTIATE_TEST_SUITE_P(
    Codecs, FfmpegYuvColours,
    testing::Values(BarsCase{"MjpegFullRange420", "bars.avi", "-c:v mjpeg -pix_fmt yuvj420p -q:v 2", 128, 32},
                    BarsCase{"MjpegFullRange422OddSize", "bars.avi", "-c:v mjpeg -pix_fmt yuvj422p -q:v 2", 127, 31},
                    BarsCase{"Mpeg1", "bars.mpg", "-c:v mpeg1video -q:v 2", 128, 32},
                    BarsCase{"Mpeg2", "bars.mpg", "-c:v mpeg2video -q:v 2", 128, 32},
                    BarsCase{"H264", "bars.mp4", "-c:v libx264 -crf 8 -pix_fmt yuv420p", 128, 32},
                    BarsCase{"H264Bt709", "bars.mkv",
                             "-vf scale=out_color_matrix=bt709:out_range=tv,format=yuv420p -c:v libx264 -crf 8 "
                             "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv",
                             128, 32},
                    BarsCase{"H264Bt709FullRange", "bars.mkv",
                             "-vf scale=out_color_matrix=bt709:out_range=pc,format=yuv420p -c:v libx264 -crf 8 "
                             "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc",
                             128, 32},
                    BarsCase{"H264TenBitBySwscale", "bars.mkv", "-c:v libx264 -crf 8 -pix_fmt yuv420p10le", 128, 32},
                    BarsCase{"H264TenBitBt709FullRangeBySwscale", "bars.mkv",
                             "-vf scale=out_color_matrix=bt709:out_range=pc,format=yuv420p10le -c:v libx264 -crf 8 "
                             "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc",
                             128, 32},
                    BarsCase{"Nv12BySwscale", "bars.nut", "-c:v rawvideo -pix_fmt nv12", 128, 32},
                    BarsCase{"Yuv444Raw", "bars.nut", "-c:v rawvideo -pix_fmt yuv444p", 128, 32}),
    [](const auto& info) { return info.param.name; });

TEST_P(FfmpegYuvColours, BarsKeepTheirColours)
{
    const BarsCase& c = GetParam();
    const auto clip =
        folder.encode(barFrames(c.width, c.height, 3), "bgr24", c.width, c.height, 25, c.encoder, c.output);
    const RecordingSink sink = playFile(clip);
    ASSERT_EQ(sink.frames.size(), 3u);
    for (const Received& frame : sink.frames)
        for (int b = 0; b < 8; ++b) {
            const int x = std::min(16 * b + 8, c.width - 1), y = c.height / 2;
            const std::uint8_t* pixel = frame.bytes.data() + (std::size_t(y) * c.width + x) * 3;
            for (int channel = 0; channel < 3; ++channel)
                EXPECT_NEAR(pixel[channel], kBars[std::size_t(b)][std::size_t(channel)], 4)
                    << "bar " << b << " channel " << channel;
        }
}

// Without subsampled chroma nothing depends on siting, and FFmpeg's own
// accurate conversion is an independent reference.
TEST(FfmpegYuv, FullChromaAgreesWithFfmpegsAccurateScalerToOneLevel)
{
    ClipFolder folder;
    const auto nut = folder.ffmpeg("-f lavfi -i testsrc=size=33x25:rate=25 -frames:v 4 -c:v rawvideo -pix_fmt yuv444p",
                                   "testsrc.nut");
    const Bytes reference = folder.reference(nut);
    const Bytes received = playFile(nut).allBytes();
    ASSERT_EQ(received.size(), reference.size());
    ASSERT_EQ(received.size(), 33u * 25 * 3 * 4);
    int worst = 0;
    for (std::size_t i = 0; i < received.size(); ++i)
        worst = std::max(worst, std::abs(received[i] - reference[i]));
    EXPECT_LE(worst, 1);
}
