// SPDX-License-Identifier: GPL-3.0-or-later
// Plain uncompressed AVIs read by our own code: the header, index and time
// arithmetic of FFmpeg's demuxer, the same description, frames, times and
// pixels as FFmpeg's source, and every file it is not sure of left to FFmpeg.

#include "ffmpeg_clips.h"

#include "avi/avi_writer.h"
#include "video/avi/avi_chunk_player.h"
#include "video/avi/plain_avi.h"
#include "video/avi/plain_avi_source.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <random>

using namespace clips;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// rawvideo frames of pixelFormat made into an AVI at rate (a fraction as
// ffmpeg reads it) with the given output arguments.
std::string MakeAvi(const ClipFolder& folder, const std::string& name, const Bytes& frames,
                    const std::string& pixelFormat, int width, const std::string& rate, const std::string& arguments)
{
    const std::string raw = folder.write(name + ".raw", frames);
    return folder.ffmpeg("-f rawvideo -pix_fmt " + pixelFormat + " -s " + std::to_string(width) + "x"
                             + std::to_string(kHeight) + " -r " + rate + " -i '" + raw + "' " + arguments,
                         name);
}

// Our own writer's file, as outputs come back as inputs.
std::string WriteOurs(const ClipFolder& folder, const std::string& name, bool gray)
{
    const std::string path = folder.file(name);
    TAviWriter writer(0, 0);
    writer.setWidth(kWidth);
    writer.setHeight(kHeight);
    writer.setFileName(path);
    writer.OpenVideo(gray);
    OutputBitmap frame;
    frame.setSize(kWidth, kHeight);
    Bytes plane(std::size_t(kWidth) * kHeight);
    for (int k = 0; k < 5; ++k) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth * 3; ++x)
                frame.rowFromBottom(y)[x] = std::uint8_t(x * 7 + y * 3 + k * 11);
        for (std::size_t i = 0; i < plane.size(); ++i)
            plane[i] = std::uint8_t(i * 5 + k);
        if (gray)
            writer.AddGrayFrame(frame, plane.data(), k);
        else
            writer.AddFrame(frame, k);
    }
    writer.CloseVideo();
    return path;
}

// Plain AVIs as FFmpeg, capture programs at odd rates and our writer make them.
std::vector<std::string> PlainFiles(const ClipFolder& folder)
{
    const Bytes gray = patternFrames(kWidth, kHeight, 7, 1);
    const Bytes bgr = flipRows(patternFrames(kWidth, kHeight, 7, 3), kWidth * 3, kHeight);
    const std::string bottomUp = "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1";
    return {
        MakeAvi(folder, "y800.avi", gray, "gray", kWidth, "25", "-c:v rawvideo -pix_fmt gray -vtag Y800"),
        MakeAvi(folder, "ntsc.avi", bgr, "bgr24", kWidth, "30000/1001", bottomUp),
        MakeAvi(folder, "odd rate.avi", bgr, "bgr24", kWidth, "153/10", bottomUp),
        MakeAvi(folder, "one.avi", Bytes(gray.begin(), gray.begin() + kWidth * kHeight), "gray", kWidth, "1000",
                "-c:v rawvideo -pix_fmt gray -vtag Y800"),
        WriteOurs(folder, "ours.avi", false),
        WriteOurs(folder, "ours_Y8.avi", true),
    };
}

template <typename Sink>
void ExpectSamePlay(FrameSource& ours, FrameSource& ffmpeg, const PlayLimits& limits, Sink a, Sink b,
                    const std::string& what)
{
    ours.play(limits, a);
    ffmpeg.play(limits, b);
    ASSERT_EQ(a.frames.size(), b.frames.size()) << what;
    for (std::size_t k = 0; k < a.frames.size(); ++k) {
        EXPECT_EQ(a.frames[k].sampleTime, b.frames[k].sampleTime) << what << " frame " << k;
        EXPECT_EQ(a.frames[k].bytes, b.frames[k].bytes) << what << " frame " << k;
    }
}

}   // namespace

// What FFmpeg's demuxer makes of each file, field by field: the parse must
// not merely play alike, it must be FFmpeg's.
TEST(PlainAvi, HeaderAndIndexReadAsFfmpegsDemuxerReadsThem)
{
    ClipFolder folder;
    for (const std::string& file : PlainFiles(folder)) {
        const std::optional<PlainAvi> avi = ReadPlainAvi(orbicrop::fileio::InputFile::open(file));
        ASSERT_TRUE(avi) << file;
        AVFormatContext* opened = nullptr;
        ASSERT_GE(avformat_open_input(&opened, file.c_str(), nullptr, nullptr), 0) << file;
        FormatContextPtr format(opened);
        ASSERT_GE(avformat_find_stream_info(format.get(), nullptr), 0) << file;
        ASSERT_EQ(format->nb_streams, 1u) << file;
        AVStream& stream = *format->streams[0];
        EXPECT_EQ(stream.time_base.num, avi->scale) << file;
        EXPECT_EQ(stream.time_base.den, avi->rate) << file;
        EXPECT_EQ(stream.avg_frame_rate.num, avi->rate) << file;
        EXPECT_EQ(stream.avg_frame_rate.den, avi->scale) << file;
        EXPECT_EQ(stream.start_time, 0) << file;
        EXPECT_EQ(stream.duration, std::int64_t(avi->chunks.size())) << file;
        EXPECT_EQ(stream.codecpar->width, std::int32_t(avi->width)) << file;
        EXPECT_EQ(stream.codecpar->height, std::int32_t(avi->height)) << file;
        EXPECT_EQ(stream.codecpar->format, avi->gray ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGR24) << file;
        ASSERT_EQ(avformat_index_get_entries_count(&stream), int(avi->chunks.size())) << file;
        for (int k = 0; k < int(avi->chunks.size()); ++k) {
            const AVIndexEntry* entry = avformat_index_get_entry(&stream, k);
            EXPECT_EQ(entry->pos, avi->chunks[std::size_t(k)]) << file << " frame " << k;
            EXPECT_EQ(entry->timestamp, k) << file << " frame " << k;
        }
        // The decoder lays the first frame out as stored (rows bottom-up for
        // 24 bits, top-down for grey).
        EXPECT_TRUE(ReadStraight(file)) << file;
    }
}

TEST(PlainAvi, TimeArithmeticIsFfmpegsToTheTick)
{
    // Any frame count a 32-bit header holds, frames of up to 100 s.
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const std::int64_t den = std::int64_t(random() % (i % 2 ? 100'000 : 2'000'000'000)) + 1;
        const std::int64_t num =
            std::int64_t(random() % std::uint64_t(std::min<std::int64_t>(den * 100, INT32_MAX))) + 1;
        const AVRational base{int(num), int(den)};
        const std::int64_t ticks = std::int64_t(random() % 4'294'967'296);
        const std::int64_t stop = std::int64_t(random() % 40'000'000'000);
        const AviTimeBase ours{base.num, base.den};
        ASSERT_EQ(HundredNanoseconds(ticks, ours), av_rescale_q(ticks, base, {1, 10'000'000}))
            << ticks << " x " << base.num << "/" << base.den;
        ASSERT_EQ(AtOrAfter(ticks, ours, stop), av_compare_ts(ticks, base, stop, {1, 10'000'000}) >= 0)
            << ticks << " x " << base.num << "/" << base.den << " against " << stop;
    }
}

TEST(PlainAvi, DescribesAndPlaysEveryFileAsFfmpegsSourceDoes)
{
    ClipFolder folder;
    for (const std::string& file : PlainFiles(folder)) {
        const std::unique_ptr<FrameSource> ours = OpenPlainAviSource(file);
        ASSERT_TRUE(ours) << file;
        FfmpegSource ffmpeg(file);
        const VideoInfo a = *ours->video();
        const VideoInfo b = *ffmpeg.video();
        EXPECT_EQ(a.frameRate, b.frameRate) << file;
        EXPECT_EQ(a.length, b.length) << file;
        EXPECT_EQ(a.width, b.width) << file;
        EXPECT_EQ(a.height, b.height) << file;
        // Whole, by count, by time (a stop at a frame's time and just before it).
        const double frameTime = 1.0 / a.frameRate;
        for (const PlayLimits& limits : {PlayLimits{}, PlayLimits{2}, PlayLimits{0, 2 * frameTime},
                                         PlayLimits{0, 2 * frameTime - 1e-7}, PlayLimits{0, 0.0}}) {
            const std::string what =
                file + " to " + std::to_string(limits.stopTime) + " s, " + std::to_string(limits.maxFrames) + " frames";
            ExpectSamePlay(*ours, ffmpeg, limits, GraySink(a.width, a.height), GraySink(a.width, a.height), what);
            // Grey files' frames spread over three bytes are FFmpeg's own decoding.
            ExpectSamePlay(*ours, ffmpeg, limits, RecordingSink(), RecordingSink(), what + ", 24-bit");
        }
    }
}

TEST(PlainAvi, LeavesToFfmpegWhatItIsNotSureOf)
{
    ClipFolder folder;
    const Bytes bgr = patternFrames(kWidth, kHeight, 3, 3);
    const std::vector<std::string> others{
        // Rows stored top-down, rows padded to four bytes, a palette, MJPEG.
        MakeAvi(folder, "top_down.avi", bgr, "bgr24", kWidth, "25", "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 0"),
        MakeAvi(folder, "padded.avi", patternFrames(33, kHeight, 3, 3), "bgr24", 33, "25",
                "-c:v rawvideo -pix_fmt bgr24"),
        MakeAvi(folder, "palette.avi", patternFrames(kWidth, kHeight, 3, 1), "gray", kWidth, "25",
                "-c:v rawvideo -pix_fmt pal8"),
        MakeAvi(folder, "mjpeg.avi", bgr, "bgr24", kWidth, "25", "-c:v mjpeg"),
        // A second stream.
        MakeAvi(folder, "sound.avi", bgr, "bgr24", kWidth, "25",
                "-f lavfi -i anullsrc=r=8000 -shortest -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1 -c:a pcm_s16le"),
    };
    for (const std::string& file : others) {
        EXPECT_FALSE(OpenPlainAviSource(file)) << file;
        EXPECT_TRUE(openVideo(file).source) << file;   // FFmpeg still reads it
    }

    // Cut short, the header's length no longer holds: FFmpeg shortens it, we
    // do not guess.
    const std::string whole = MakeAvi(folder, "whole.avi", flipRows(bgr, kWidth * 3, kHeight), "bgr24", kWidth, "25",
                                      "-c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1");
    ASSERT_TRUE(OpenPlainAviSource(whole));
    Bytes cut = ReadFileBytes(whole);
    cut.resize(cut.size() - 100);
    EXPECT_FALSE(OpenPlainAviSource(folder.write("cut.avi", cut)));
    EXPECT_FALSE(OpenPlainAviSource(folder.file("missing.avi")));
}
