// SPDX-License-Identifier: GPL-3.0-or-later
// Captures saved as still images, one file a frame: a folder of FITS, TIFF
// or PNG frames made from a SER capture gives the SER's own outputs, and a
// frame that does not fit the others fails the capture by name.

#include "stills/still_image.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using orbicrop::stills::StillImage;

namespace {

constexpr std::int64_t kFirstStamp = 638700000000000000;   // late 2024, in SER ticks
constexpr std::int64_t kFrameTicks = 200000;               // 50 frames a second

// A 12-bit disc drifting over a faint sky; an odd height, so that a FITS
// file's bottom-up rows start on the mosaic's other row.
SerClip Capture(std::int32_t colourId)
{
    SerClip clip;
    clip.colourId = colourId;
    clip.width = 160;
    clip.height = 121;
    clip.depth = 12;
    for (int f = 0; f < 12; ++f) {
        clip.addFrame([f](int x, int y, int) {
            const double r = std::hypot(x - 70.0 - 1.5 * f, y - 55.0 - 0.5 * f) / 30.0;
            // Sites of a mosaic get levels of their own, so a pattern read
            // wrong changes the colours.
            const int site = (x % 2) + 2 * (y % 2);
            return 60 + (r < 1.0 ? int(std::lround((2600.0 + 300.0 * site) * (1.0 - 0.6 * r * r))) : 0);
        });
        clip.timestamps.push_back(kFirstStamp + f * kFrameTicks);
    }
    return clip;
}

// Frame f of clip as a still: its samples little-endian, its time, and the
// mosaic named when it is one.
StillImage StillOf(const SerClip& clip, std::size_t f, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    for (const std::uint16_t sample : clip.frames[f])
        bytes.insert(bytes.end(), {std::uint8_t(sample), std::uint8_t(sample >> 8)});
    StillImage image;
    image.samples = bytes.data();
    image.width = clip.width;
    image.height = clip.height;
    image.bytesPerSample = 2;
    image.depth = clip.depth;
    image.bayer = clip.colourId == 8 ? "RGGB" : "";
    image.time = IsoUtcMillis(clip.timestamps[f]);
    return image;
}

using StillWriter = std::function<void(const std::string&, const StillImage&)>;

// clip's frames as folder/cap_0001.EXT ... (numbered from 1, unpadded past 9
// would sort wrong by name: the padding is the capture program's).
void WriteFolder(const SerClip& clip, const std::string& folder, const std::string& extension, const StillWriter& write)
{
    fs::create_directories(folder);
    std::vector<std::uint8_t> bytes;
    for (std::size_t f = 0; f < clip.frames.size(); ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "/cap_%04zu.", f + 1);
        write(folder + name + extension, StillOf(clip, f, bytes));
    }
}

std::string Cli(const TempDir& dir, const std::string& arguments)
{
    return "cd " + ShellQuote(dir.path()) + " && " + ORBICROP_CLI + " -q -W 64 -H 64 " + arguments;
}

}   // namespace

TEST(CliFrameFolders, FitsTiffAndPngFoldersGiveTheSerCapturesOwnOutputs)
{
    TempDir dir;
    const SerClip mono = Capture(0);
    dir.write("cap.ser", mono.bytes());
    WriteFolder(mono, dir.file("fits"), "fits", orbicrop::stills::WriteFitsStill);
    WriteFolder(mono, dir.file("tiff"), "tif", orbicrop::stills::WriteTiffStill);
    WriteFolder(mono, dir.file("png"), "png", orbicrop::stills::WritePngStill);
    const auto ser = RunCommand(Cli(dir, "-o out cap.ser"), dir.path());
    ASSERT_EQ(ser.status, 0) << ser.err;
    const std::string expected = ReadWholeFile(dir.file("out/cap_Y8orbic.avi"));
    ASSERT_FALSE(expected.empty());
    for (const char* folder : {"fits", "tiff", "png"}) {
        const auto run = RunCommand(Cli(dir, std::string("-o out ") + folder + "/"), dir.path());
        ASSERT_EQ(run.status, 0) << folder << ": " << run.err;
        EXPECT_EQ(ReadWholeFile(dir.file(std::string("out/") + folder + "_Y8orbic.avi")), expected) << folder;
    }

    // FITS times to the millisecond date every frame and give the rate;
    // TIFF's whole seconds date the start alone, at the default rate.
    const auto info = RunCommand(Cli(dir, "--info fits tiff"), dir.path());
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("fits\n  width: 160\n  height: 121\n  frames: 12\n  stream_fps: 50\n  depth: 12\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("tiff\n  width: 160\n  height: 121\n  frames: 12\n  stream_fps: 30\n"), std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("  start: 2024-12-17T02:40:00.0000000Z\n  time_from: frame files"), std::string::npos)
        << info.out;

    // A raw colour capture debayered: the pattern each FITS file names, with
    // its rows stored bottom-up, must be the SER's, or the colours differ.
    const SerClip mosaic = Capture(8);
    dir.write("raw.ser", mosaic.bytes());
    WriteFolder(mosaic, dir.file("raw"), "fits", orbicrop::stills::WriteFitsStill);
    const auto rawSer = RunCommand(Cli(dir, "--debayer --format ser -o colour raw.ser"), dir.path());
    ASSERT_EQ(rawSer.status, 0) << rawSer.err;
    const auto rawFits = RunCommand(Cli(dir, "--debayer --format ser -o colour 'raw/cap_*.fits'"), dir.path());
    ASSERT_EQ(rawFits.status, 0) << rawFits.err;
    EXPECT_NE(rawFits.out.find(" - Capture time from the frame files: 2024-12-17T02:40:00.0000000Z"), std::string::npos)
        << rawFits.out;
    const std::string fromSer = ReadWholeFile(dir.file("colour/raw_orbic.ser"));
    const std::string fromFits = ReadWholeFile(dir.file("colour/cap_orbic.ser"));
    // The frames and their times (to the millisecond DATE-OBS keeps) agree;
    // the header's start is the first frame's time in both.
    ASSERT_EQ(fromFits.size(), fromSer.size());
    constexpr std::size_t kHeader = 178;
    const std::size_t frames = (fromSer.size() - kHeader) / (64 * 64 * 3 * 2 + 8);
    const std::size_t frameBytes = frames * 64 * 64 * 3 * 2;
    EXPECT_EQ(fromFits.substr(kHeader, frameBytes), fromSer.substr(kHeader, frameBytes));
    EXPECT_EQ(fromFits.substr(kHeader + frameBytes), fromSer.substr(kHeader + frameBytes));
}

TEST(CliFrameFolders, AFrameOfAnotherSizeFailsTheCaptureByName)
{
    TempDir dir;
    SerClip clip = Capture(0);
    WriteFolder(clip, dir.file("cap"), "fits", orbicrop::stills::WriteFitsStill);
    // Frame 6 of 12 is none of the frames opening looks at: it is found as
    // it plays, after frames were written.
    SerClip smaller = clip;
    smaller.height = 120;
    smaller.frames[5].resize(smaller.samplesPerFrame());
    std::vector<std::uint8_t> bytes;
    fs::remove(dir.file("cap/cap_0006.fits"));
    orbicrop::stills::WriteFitsStill(dir.file("cap/cap_0006.fits"), StillOf(smaller, 5, bytes));

    const auto run = RunCommand(Cli(dir, "-o out cap"), dir.path());
    EXPECT_NE(run.status, 0);
    EXPECT_NE((run.out + run.err).find("cap_0006.fits is 160 x 120 16-bit mono, not 160 x 121"), std::string::npos)
        << run.out << run.err;
    // As with a file that cannot be read to its end, the frames before it
    // are kept, and the capture counts as failed.
    EXPECT_NE(run.err.find("0 files done, 1 failed; 5 frames written"), std::string::npos) << run.err;
}
