// SPDX-License-Identifier: GPL-3.0-or-later
// AVIs that capture programs, editors and interrupted recordings leave
// behind: whichever reader takes such a file, it plays what FFmpeg's own
// decoding plays, frame for frame, or leaves the file to that decoding.

#include "crafted_avi.h"
#include "ffmpeg_clips.h"
#include "support/ffmpeg_decoding.h"

#include "avi/avi_writer.h"
#include "video/avi/plain_avi_source.h"

using namespace clips;
using crafted::AviRecipe;
using crafted::RawChunk;
using crafted::Unlisted;

namespace {

struct Case {
    std::string name;
    AviRecipe recipe;
};

std::vector<Case> ImperfectFiles()
{
    std::vector<Case> cases;
    const auto add = [&](const std::string& name, auto change) {
        AviRecipe recipe = AviRecipe::Frames(12);
        change(recipe);
        cases.push_back({name, recipe});
    };
    add("well formed", [](AviRecipe&) {});
    add("a size field 2 bytes past the index's", [](AviRecipe& r) {
        r.movi[5].indexSize = std::uint32_t(r.movi[5].payload.size());
        r.movi[5].payload.resize(r.movi[5].payload.size() + 2);
    });
    add("a frame's id overwritten with JUNK", [](AviRecipe& r) {
        r.movi[5].id = "JUNK";
        r.movi[5].indexId = "00db";
    });
    add("an unindexed frame in the middle",
        [](AviRecipe& r) { r.movi.insert(r.movi.begin() + 6, Unlisted("00db", r.frame(40))); });
    add("an unindexed frame first", [](AviRecipe& r) { r.movi.insert(r.movi.begin(), Unlisted("00db", r.frame(41))); });
    add("an unindexed frame last", [](AviRecipe& r) { r.movi.push_back(Unlisted("00db", r.frame(42))); });
    add("an index that skips a frame", [](AviRecipe& r) { r.movi[4].indexed = false; });
    add("an unindexed empty frame", [](AviRecipe& r) { r.movi.insert(r.movi.begin() + 1, Unlisted("00dc", {})); });
    add("a frame after the index", [](AviRecipe& r) { r.afterIndex.push_back({"00db", r.frame(43)}); });
    add("a frame after the RIFF", [](AviRecipe& r) { crafted::AppendChunk(r.afterRiff, {"00db", r.frame(44)}); });
    add("an index out of order", [](AviRecipe& r) { r.indexOrder = {0, 1, 2, 4, 3, 5, 6, 7, 8, 9, 10, 11}; });
    add("JUNK between frames", [](AviRecipe& r) { r.movi.insert(r.movi.begin() + 3, Unlisted("JUNK", Bytes(30))); });
    add("a stream that starts at frame 2", [](AviRecipe& r) { r.start = 2; });
    return cases;
}

// What a source played, against FFmpeg's decoding of the same file.
void ExpectAsFfmpegDecodes(FrameSource& source, const std::vector<reference::DecodedFrame>& expected, double frameTime,
                           const std::string& what)
{
    RecordingSink sink;
    try {
        ASSERT_TRUE(source.video()) << what;
        source.play({}, sink);
    } catch (const FrameSourceError& e) {
        FAIL() << what << ": " << e.what();
    }
    ASSERT_EQ(sink.frames.size(), expected.size()) << what;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(sink.frames[k].bytes, expected[k].pixels) << what << ", frame " << k;
        EXPECT_DOUBLE_EQ(sink.frames[k].sampleTime, double(expected[k].time) * frameTime) << what << ", frame " << k;
    }
}

}   // namespace

TEST(ImperfectAvi, EveryReaderPlaysWhatFfmpegDecodesOrLeavesTheFileToIt)
{
    ClipFolder folder;
    for (const Case& c : ImperfectFiles()) {
        const std::string path = folder.write(c.name + ".avi", c.recipe.bytes());
        const auto expected = reference::DecodeAll(path);
        ASSERT_TRUE(expected) << c.name;
        ASSERT_FALSE(expected->empty()) << c.name;
        const double frameTime = 1.0 / c.recipe.rate;
        if (const std::unique_ptr<FrameSource> plain = OpenPlainAviSource(path))
            ExpectAsFfmpegDecodes(*plain, *expected, frameTime, c.name + " (read without FFmpeg)");
        FfmpegSource ffmpeg(path);
        ExpectAsFfmpegDecodes(ffmpeg, *expected, frameTime, c.name + " (FFmpeg's source)");
        // A two-frame test plays the first two frames as FFmpeg times them.
        FfmpegSource tested(path);
        const VideoInfo info = *tested.video();
        RecordingSink two;
        tested.play({2, 2.0 / info.frameRate}, two);
        std::size_t within = 0;
        while (within < expected->size() && within < 2 && (*expected)[within].time < 2)
            ++within;
        EXPECT_EQ(two.frames.size(), within) << c.name << ", a two-frame test";
    }
}

// Well-formed files still go the fast ways: this is what keeps the checks
// above from passing merely because everything went to FFmpeg. Our own
// OpenDML outputs (several RIFFs, 'ix00' index chunks in the movie lists)
// come back as inputs, read straight and as FFmpeg decodes them.
TEST(ImperfectAvi, WellFormedFilesStillReadStraight)
{
    ClipFolder folder;
    AviRecipe recipe = AviRecipe::Frames(6);
    recipe.movi.insert(recipe.movi.begin() + 2, Unlisted("JUNK", Bytes(30)));
    const std::string path = folder.write("junk.avi", recipe.bytes());
    EXPECT_TRUE(OpenPlainAviSource(path));
    EXPECT_TRUE(ReadStraight(path));

    const std::string openDml = folder.file("opendml.avi");
    TAviWriter writer(0, 0);
    writer.setWidth(64);
    writer.setHeight(48);
    writer.setRiffSizeLimit(40000);   // about four frames a RIFF
    writer.setFileName(openDml);
    writer.OpenVideo(false);
    OutputBitmap frame;
    frame.setSize(64, 48);
    for (int k = 0; k < 20; ++k) {
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64 * 3; ++x)
                frame.rowFromBottom(y)[x] = std::uint8_t(x + y * 7 + k * 13);
        writer.AddFrame(frame, k);
    }
    writer.CloseVideo();
    EXPECT_TRUE(ReadStraight(openDml));
    FfmpegSource source(openDml);
    const auto expected = reference::DecodeAll(openDml);
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->size(), 20u);
    ExpectAsFfmpegDecodes(source, *expected, expected->at(1).seconds, "our OpenDML output");
}
