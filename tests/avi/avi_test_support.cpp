// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/avi/avi_test_support.h"
#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>

namespace avitest {

OutputBitmap colourFrame(std::int32_t width, std::int32_t height, std::int32_t frame)
{
    OutputBitmap bitmap;
    bitmap.setSize(width, height);
    for (std::int32_t r = 0; r < height; ++r) {
        std::uint8_t* row = bitmap.rowFromBottom(height - 1 - r);
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = std::uint8_t(r * 31 + x * 7 + c * 85 + frame * 13);
    }
    return bitmap;
}

std::vector<std::uint8_t> greyPlane(std::int32_t width, std::int32_t height, std::int32_t frame)
{
    std::vector<std::uint8_t> plane(std::size_t(width) * std::size_t(height));
    for (std::int32_t r = 0; r < height; ++r)
        for (std::int32_t x = 0; x < width; ++x)
            plane[std::size_t(r) * width + x] = std::uint8_t(r * 17 + x * 5 + frame * 11 + 1);
    return plane;
}

std::vector<std::uint8_t> expectedPicture(std::int32_t width, std::int32_t height, bool grey, std::int32_t frame)
{
    if (grey)
        return greyPlane(width, height, frame);
    const OutputBitmap bitmap = colourFrame(width, height, frame);
    std::vector<std::uint8_t> picture;
    for (std::int32_t r = 0; r < height; ++r)
        picture.insert(picture.end(), bitmap.rowFromTop(r), bitmap.rowFromTop(r) + width * 3);
    return picture;
}

void writeClip(TAviWriter& writer, bool grey, std::int32_t count)
{
    writer.OpenVideo(grey);
    for (std::int32_t i = 0; i < count; ++i) {
        const OutputBitmap bitmap = colourFrame(writer.Width(), writer.Height(), i);
        if (grey)
            writer.AddGrayFrame(bitmap, greyPlane(writer.Width(), writer.Height(), i).data(), i);
        else
            writer.AddFrame(bitmap, i);
    }
}

namespace {

// Checks that the chunk header at an absolute position is a frame chunk.
void expectFrameChunkAt(const RiffFile& file, std::uint64_t offset, std::uint32_t frameBytes)
{
    const auto head = file.read(offset, 8);
    EXPECT_EQ(fourcc(head, 0), "00db") << "at " << offset;
    EXPECT_EQ(le32(head, 4), frameBytes) << "at " << offset;
}

// The frames of every RIFF, each RIFF's size, and the frame chunks' size.
void countFrames(const RiffFile& file, ContainerFacts& facts)
{
    const auto& riffs = file.riffs();
    for (std::size_t k = 0; k < riffs.size(); ++k) {
        if (k > 0) {
            EXPECT_EQ(riffs[k].listType, "AVIX");
        }
        facts.largestRiff = std::max(facts.largestRiff, riffs[k].size + 8);
        const Chunk* movi = file.movi(k);
        if (movi == nullptr) {
            ADD_FAILURE() << "RIFF " << k << " has no movi";
            continue;
        }
        if (movi->frameChunks > 0) {
            EXPECT_EQ(movi->frameSize, facts.frameBytes);
        }
        facts.frames += movi->frameChunks;
    }
    facts.firstRiffFrames = file.movi(0) ? file.movi(0)->frameChunks : 0;
    facts.openDml = riffs.size() > 1;
}

// idx1: the frames of the first RIFF, offsets relative to the 'movi' id.
void checkIdx1(const RiffFile& file, const std::vector<std::uint8_t>& avih, ContainerFacts& facts)
{
    const auto idx1 = file.idx1();
    facts.hasIdx1 = file.riffs()[0].find("idx1") != nullptr;
    EXPECT_EQ((le32(avih, 12) & 0x10) != 0, facts.hasIdx1) << "AVIF_HASINDEX";
    if (facts.hasIdx1) {
        EXPECT_EQ(idx1.size(), facts.firstRiffFrames);
        const std::uint64_t base = file.movi(0)->offset + 8;
        for (const IndexEntry& e : idx1) {
            EXPECT_EQ(e.flags, 0x10u);
            EXPECT_EQ(e.size, facts.frameBytes);
            expectFrameChunkAt(file, base + e.offset, facts.frameBytes);
        }
    }
}

// OpenDML: indx in strl, dmlh in hdrl, ix00 chunks that list every frame once.
void checkOpenDmlIndex(const RiffFile& file, const Chunk& hdrl, const Chunk& strl, ContainerFacts& facts)
{
    const Chunk* indx = strl.find("indx");
    const Chunk* odml = hdrl.find("LIST", "odml");
    EXPECT_EQ(indx != nullptr, facts.openDml);
    EXPECT_EQ(odml != nullptr, facts.openDml);
    if (indx == nullptr || odml == nullptr)
        return;
    EXPECT_EQ(le32(file.data(*odml->find("dmlh")), 0), facts.frames) << "dmlh dwTotalFrames";
    const auto super = file.data(*indx);
    EXPECT_EQ(le16(super, 0), 4);
    EXPECT_EQ(super.at(3), 0) << "AVI_INDEX_OF_INDEXES";
    EXPECT_EQ(fourcc(super, 8), "00db");
    std::set<std::uint64_t> covered;
    for (std::uint32_t i = 0; i < le32(super, 4); ++i) {
        const std::uint64_t ixOffset = le64(super, 24 + 16 * i);
        const auto ixHead = file.read(ixOffset, 8);
        EXPECT_EQ(fourcc(ixHead, 0), "ix00");
        EXPECT_EQ(le32(ixHead, 4) + 8, le32(super, 32 + 16 * i)) << "indx dwSize";
        const Chunk ix("ix00", ixOffset, le32(ixHead, 4));
        std::uint64_t ixBase = 0;
        const auto entries = file.stdIndex(ix, &ixBase);
        EXPECT_EQ(entries.size(), le32(super, 36 + 16 * i)) << "indx dwDuration";
        for (const IndexEntry& e : entries) {
            EXPECT_EQ(e.size, facts.frameBytes) << "size, bit 31 clear for key frames";
            expectFrameChunkAt(file, ixBase + e.offset - 8, facts.frameBytes);
            EXPECT_TRUE(covered.insert(ixBase + e.offset).second) << "frame listed twice";
        }
    }
    facts.odmlIndexedFrames = std::uint32_t(covered.size());
}

}   // namespace

ContainerFacts checkContainer(const RiffFile& file, std::int32_t width, std::int32_t height, bool grey)
{
    ContainerFacts facts;
    for (const std::string& p : file.problems())
        ADD_FAILURE() << p;
    const auto& riffs = file.riffs();
    facts.riffs = riffs.size();
    if (riffs.empty() || file.hdrl() == nullptr || file.strl() == nullptr) {
        ADD_FAILURE() << "no hdrl/strl";
        return facts;
    }
    EXPECT_EQ(riffs[0].listType, "AVI ");
    EXPECT_EQ(riffs[0].children.front().listType, "hdrl");
    const Chunk& hdrl = *file.hdrl();
    EXPECT_EQ(hdrl.children.front().id, "avih");
    const Chunk& strl = *file.strl();
    EXPECT_EQ(strl.children.at(0).id, "strh");
    EXPECT_EQ(strl.children.at(1).id, "strf");

    const auto avih = file.data(hdrl.children.front());
    const auto strh = file.data(strl.children[0]);
    const auto strf = file.data(strl.children[1]);
    facts.frameBytes = le32(strf, 20);
    const std::uint32_t row = ((std::uint32_t(width) * (grey ? 8 : 24) + 31) / 32) * 4;
    EXPECT_EQ(facts.frameBytes, row * std::uint32_t(height));

    countFrames(file, facts);
    EXPECT_EQ(le32(strh, 32), facts.frames) << "strh dwLength";
    EXPECT_EQ(le32(avih, 16), facts.openDml ? facts.firstRiffFrames : facts.frames) << "avih dwTotalFrames";
    EXPECT_EQ(le32(avih, 24), 1u) << "avih dwStreams";

    checkIdx1(file, avih, facts);
    checkOpenDmlIndex(file, hdrl, strl, facts);
    return facts;
}

namespace {

// The clips under test live in a test's own temporary folder, which also
// takes what the tools print.
std::string scratchFolderOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

}   // namespace

std::map<std::string, std::string> probe(const std::string& path)
{
    const CommandResult r =
        RunProgram({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                    "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_frames,nb_read_packets", "-of",
                    "default=noprint_wrappers=1", path},
                   scratchFolderOf(path));
    std::map<std::string, std::string> fields{{"exit", std::to_string(r.status)}};
    std::stringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

std::vector<std::uint8_t> decodeAll(const std::string& path, bool grey, const std::vector<std::string>& inputOptions)
{
    std::vector<std::string> args{"ffmpeg", "-v", "error", "-nostdin"};
    args.insert(args.end(), inputOptions.begin(), inputOptions.end());
    args.insert(args.end(), {"-i", path, "-f", "rawvideo", "-pix_fmt", grey ? "gray" : "bgr24", "-"});
    const CommandResult r = RunProgram(args, scratchFolderOf(path));
    EXPECT_EQ(r.status, 0) << "ffmpeg failed on " << path << ": " << r.err;
    return {r.out.begin(), r.out.end()};
}

void expectReadsBack(const std::string& path, std::int32_t width, std::int32_t height, bool grey, std::int32_t frames)
{
    auto info = probe(path);
    EXPECT_EQ(info["exit"], "0");
    EXPECT_EQ(info["codec_name"], "rawvideo");
    EXPECT_EQ(info["pix_fmt"], grey ? "gray" : "bgr24");
    EXPECT_EQ(info["width"], std::to_string(width));
    EXPECT_EQ(info["height"], std::to_string(height));
    EXPECT_EQ(info["r_frame_rate"], "30/1");
    // ffprobe prints N/A rather than 0 for a stream without packets.
    const std::string count = frames == 0 ? "N/A" : std::to_string(frames);
    EXPECT_EQ(info["nb_frames"], count);
    EXPECT_EQ(info["nb_read_packets"], count);
    std::vector<std::uint8_t> expected;
    for (std::int32_t i = 0; i < frames; ++i) {
        const auto picture = expectedPicture(width, height, grey, i);
        expected.insert(expected.end(), picture.begin(), picture.end());
    }
    EXPECT_TRUE(decodeAll(path, grey) == expected) << "decoded frames differ from those added";
}

}   // namespace avitest
