// SPDX-License-Identifier: GPL-3.0-or-later
// The AVX2 row loop of the YUV conversion against the portable loop, which is
// the reference: the same bytes for every sample value, matrix, range,
// subsampling and width, the widths that leave a partial vector included.

#include "video/ffmpeg/yuv_to_bgr.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <array>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// How the planes are filled: noise, noise of only 0 and 255 (every extreme
// next to every other), or one value per plane.
struct Fill {
    enum Kind { Noise, Extremes, Uniform } kind;
    std::array<std::uint8_t, 3> values{};
};

FramePtr makeYuvFrame(AVPixelFormat format, int width, int height, AVColorSpace space, AVColorRange range,
                      AVChromaLocation location, const Fill& fill, std::mt19937& random)
{
    FramePtr frame = makeFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->colorspace = space;
    frame->color_range = range;
    frame->chroma_location = location;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : -((-height) >> descriptor->log2_chroma_h);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < frame->linesize[plane]; ++x) {
                std::uint8_t& sample = frame->data[plane][std::ptrdiff_t(y) * frame->linesize[plane] + x];
                switch (fill.kind) {
                case Fill::Noise: sample = std::uint8_t(random()); break;
                case Fill::Extremes: sample = (random() & 1) ? 255 : 0; break;
                case Fill::Uniform: sample = fill.values[std::size_t(plane)]; break;
                }
            }
    }
    return frame;
}

// Empty when both loops agree, else where they first differ.
std::string difference(const AVFrame& frame)
{
    const std::size_t size = std::size_t(frame.width) * frame.height * 3;
    std::vector<std::uint8_t> portable(size, 1), avx2(size, 2);
    YuvToBgr(YuvToBgr::RowLoop::Portable).convert(frame, portable.data());
    YuvToBgr(YuvToBgr::RowLoop::Avx2).convert(frame, avx2.data());
    for (std::size_t i = 0; i < size; ++i)
        if (portable[i] != avx2[i]) {
            std::ostringstream text;
            text << av_get_pix_fmt_name(AVPixelFormat(frame.format)) << " " << frame.width << "x" << frame.height
                 << " space " << frame.colorspace << " range " << frame.color_range << ": byte " << i << " is "
                 << int(avx2[i]) << ", not " << int(portable[i]);
            return text.str();
        }
    return {};
}

}   // namespace

TEST(YuvToBgr, Avx2RowsGiveThePortableBytesForEveryMatrixRangeAndWidth)
{
    if (YuvToBgr::fastestRowLoop() != YuvToBgr::RowLoop::Avx2)
        GTEST_SKIP() << "no AVX2 here";

    std::vector<Fill> fills{{Fill::Noise}, {Fill::Extremes}};
    for (int combination = 0; combination < 8; ++combination)
        fills.push_back({Fill::Uniform,
                         {std::uint8_t(combination & 1 ? 255 : 0), std::uint8_t(combination & 2 ? 255 : 0),
                          std::uint8_t(combination & 4 ? 255 : 0)}});
    std::vector<int> widths;
    for (int width = 1; width <= 70; ++width)
        widths.push_back(width);
    widths.push_back(1920);

    std::mt19937 random(2026);
    int failures = 0;
    for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVJ420P})
        for (const AVColorSpace space :
             {AVCOL_SPC_UNSPECIFIED, AVCOL_SPC_BT709, AVCOL_SPC_BT2020_NCL, AVCOL_SPC_FCC, AVCOL_SPC_SMPTE240M})
            for (const AVColorRange range : {AVCOL_RANGE_MPEG, AVCOL_RANGE_JPEG})
                for (const AVChromaLocation location : {AVCHROMA_LOC_LEFT, AVCHROMA_LOC_CENTER})
                    for (const int width : widths)
                        for (const Fill& fill : fills) {
                            const int height = width == 1920 ? 7 : 3 + 2 * (width & 1);
                            const FramePtr frame =
                                makeYuvFrame(format, width, height, space, range, location, fill, random);
                            ASSERT_TRUE(frame);
                            const std::string error = difference(*frame);
                            EXPECT_EQ(error, "");
                            if (!error.empty() && ++failures == 10)
                                return;
                        }
}

// Measuring on green alone and converting only the crop window must give
// the bytes of the whole conversion, or outputs would change with the path
// a frame takes: every byte of green, and within a window every byte, with
// nothing outside the window written.
TEST(YuvToBgr, GreenAndWindowsAreTheWholeConversionsBytes)
{
    std::mt19937 random(909);
    for (const YuvToBgr::RowLoop loop : {YuvToBgr::RowLoop::Portable, YuvToBgr::RowLoop::Avx2})
        for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                           AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P})
            for (const AVChromaLocation location : {AVCHROMA_LOC_LEFT, AVCHROMA_LOC_CENTER, AVCHROMA_LOC_TOPLEFT})
                for (const AVColorRange range : {AVCOL_RANGE_MPEG, AVCOL_RANGE_JPEG})
                    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{37, 29}, std::pair{1920, 9}}) {
                        const FramePtr frame = makeYuvFrame(format, width, height, AVCOL_SPC_BT709, range, location,
                                                            {Fill::Noise}, random);
                        ASSERT_TRUE(frame);
                        const std::size_t pixels = std::size_t(width) * std::size_t(height);
                        std::vector<std::uint8_t> whole(pixels * 3), green(pixels, 7);
                        YuvToBgr converter(loop);
                        converter.convert(*frame, whole.data());
                        converter.green(*frame, green.data());
                        std::vector<std::uint8_t> expected(pixels);
                        for (std::size_t i = 0; i < pixels; ++i)
                            expected[i] = whole[3 * i + 1];
                        ASSERT_EQ(green, expected) << av_get_pix_fmt_name(format) << " " << width << "x" << height;

                        // Windows inside, across every border, wholly outside and empty.
                        const int windows[][4] = {{width / 3, height / 3, width / 2 + 1, height / 2 + 1},
                                                  {-5, -3, width + 10, height + 6},
                                                  {width - 2, height - 1, 40, 40},
                                                  {width + 3, 0, 4, 4},
                                                  {0, 0, 0, height}};
                        for (const auto& w : windows) {
                            std::vector<std::uint8_t> painted(pixels * 3, 0xA5);
                            converter.convertWindow(*frame, w[0], w[1], w[2], w[3], painted.data());
                            for (int row = 0; row < height; ++row)
                                for (int x = 0; x < width; ++x) {
                                    const bool inside =
                                        x >= w[0] && x < w[0] + w[2] && row >= w[1] && row < w[1] + w[3];
                                    const std::size_t at = (std::size_t(row) * std::size_t(width) + std::size_t(x)) * 3;
                                    for (int k = 0; k < 3; ++k)
                                        ASSERT_EQ(painted[at + k], inside ? whole[at + k] : 0xA5)
                                            << av_get_pix_fmt_name(format) << " " << width << "x" << height
                                            << " window " << w[0] << "," << w[1] << " pixel " << x << "," << row;
                                }
                        }
                    }
}
