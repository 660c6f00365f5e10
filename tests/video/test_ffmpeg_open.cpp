// SPDX-License-Identifier: GPL-3.0-or-later
// Opening files with the FFmpeg frame source: what cannot be loaded, the
// stream search and the steps that fail before anything plays.

#include "ffmpeg_clips.h"

#include "run/open_frame_source.h"

#include <algorithm>
#include <optional>
#include <random>

using namespace clips;

namespace {

// The step named by the FrameSourceError that call throws.
template <typename Call>
std::optional<SourceFailure> failureOf(Call&& call)
{
    try {
        call();
    } catch (const FrameSourceError& e) {
        return e.failure();
    }
    return std::nullopt;
}

}   // namespace

TEST(FfmpegOpen, FilesThatAreNoVideoCannotBeLoaded)
{
    ClipFolder folder;
    std::filesystem::create_directory(folder.file("folder.avi"));
    std::mt19937 random(20240501);
    Bytes noise(64 * 1024);
    for (auto& b : noise)
        b = std::uint8_t(random());
    const std::vector<std::string> paths = {
        folder.file("missing.avi"),
        folder.write("empty.avi", {}),
        folder.file("folder.avi"),
        folder.write("noise.avi", noise),
        folder.write("noise.mpg", noise),
        folder.write("noise", noise),
        folder.write("truncated header.avi", {'R', 'I', 'F', 'F', 0x10, 0, 0, 0, 'A', 'V', 'I', ' '}),
    };
    for (const std::string& path : paths)
        EXPECT_EQ(failureOf([&] { OpenFrameSource(path); }), SourceFailure::Load) << path;
}

TEST(FfmpegOpen, AudioOnlyFileHasNoVideoStream)
{
    ClipFolder folder;
    const auto wav = folder.ffmpeg("-f lavfi -i sine=d=0.2 -c:a pcm_s16le", "tone.wav");
    EXPECT_FALSE(OpenFrameSource(wav)->video());
}

TEST(FfmpegOpen, AudioStreamBeforeTheVideoIsSkipped)
{
    ClipFolder folder;
    const auto avi = folder.ffmpeg("-f lavfi -i sine=d=0.4 -f lavfi -i testsrc2=size=64x48:rate=25:d=0.4 "
                                   "-map 0:a -map 1:v -c:a pcm_s16le -c:v rawvideo -pix_fmt bgr24",
                                   "audio first.avi");
    auto source = OpenFrameSource(avi);
    const std::optional<VideoInfo> info = source->video();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->width, 64);
    EXPECT_EQ(info->height, 48);
    EXPECT_DOUBLE_EQ(info->frameRate, 25.0);
    EXPECT_DOUBLE_EQ(info->length, 0.4);
    RecordingSink sink;
    source->play({}, sink);
    EXPECT_EQ(sink.frames.size(), 10u);
}

TEST(FfmpegOpen, CoverPictureIsNoVideoStream)
{
    ClipFolder folder;
    const auto cover = folder.ffmpeg("-f lavfi -i color=c=red:size=32x32 -frames:v 1", "cover.png");
    const auto song = folder.ffmpeg("-f lavfi -i sine=d=0.2 -i '" + cover
                                        + "' -map 0:a -map 1:v -c:a aac -c:v png -disposition:v:0 attached_pic",
                                    "song.m4a");
    EXPECT_FALSE(OpenFrameSource(song)->video());
}

// Capture programs put times in file names; FFmpeg would take "21:05:33"
// before a colon for a protocol name.
TEST(FfmpegOpen, RelativePathWithColonsIsAFileName)
{
    ClipFolder folder;
    const auto made = folder.ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:d=0.2 -c:v rawvideo -pix_fmt bgr24",
                                    "2024-05-01T21:05:33.avi");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.root());
    std::size_t frames = 0;
    EXPECT_NO_THROW(frames = playFile("2024-05-01T21:05:33.avi").frames.size());
    std::filesystem::current_path(previous);
    EXPECT_EQ(frames, 5u);
    (void)made;
}

TEST(FfmpegOpen, CodecWithoutDecoderCannotBePrepared)
{
    ClipFolder folder;
    const auto mjpeg = folder.ffmpeg("-f lavfi -i testsrc2=size=32x24:rate=25:d=0.2 -c:v mjpeg", "mjpeg.avi");
    Bytes bytes = ReadFileBytes(mjpeg);
    const std::string known = "MJPG", unknown = "QQQQ";
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), known.begin(), known.end())) != bytes.end();)
        at = std::copy(unknown.begin(), unknown.end(), at);
    auto source = OpenFrameSource(folder.write("unknown codec.avi", bytes));
    ASSERT_TRUE(source->video());
    RecordingSink sink;
    EXPECT_EQ(failureOf([&] { source->play({}, sink); }), SourceFailure::Prepare);
    EXPECT_TRUE(sink.frames.empty());
}
