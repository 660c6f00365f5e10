// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"
#include "tests/avi/avi_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace avitest;

namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> list)
{
    return std::vector<std::uint8_t>(list.begin(), list.end());
}

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t count)
{
    return std::vector<std::uint8_t>(b.begin() + std::ptrdiff_t(from), b.begin() + std::ptrdiff_t(from + count));
}

void configure(TAviWriter& writer, const std::string& path, std::int32_t width, std::int32_t height)
{
    writer.setFileName(path);
    writer.setWidth(width);
    writer.setHeight(height);
}

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AviError& e) {
        return e.what();
    }
    return "(no AviError)";
}

}   // namespace

TEST(TAviWriter, DefaultsAreATenthOfTheScreenAndTheRestIsStoredOnly)
{
    TAviWriter writer(1366, 768);
    EXPECT_EQ(writer.Width(), 136);
    EXPECT_EQ(writer.Height(), 76);
    EXPECT_EQ(writer.FrameTime(), 1000);
    EXPECT_EQ(writer.FileName(), "");
    EXPECT_EQ(writer.WavFileName(), "");
    EXPECT_FALSE(writer.DeleteFiles());
    EXPECT_FALSE(writer.PlayAvi());
    EXPECT_FALSE(writer.OnCreating());
    EXPECT_FALSE(writer.OnSaving());
    EXPECT_FALSE(writer.isOpen());
}

TEST(TAviWriter, WavFileNameKeepsItsCaseAndRefusesOtherExtensions)
{
    TAviWriter writer(640, 480);
    const std::string refused = "WavFileName must name a file with the .wav extension";
    writer.setWavFileName("a.WAV");
    EXPECT_EQ(writer.WavFileName(), "a.WAV");
    writer.setWavFileName("A.wav");
    EXPECT_EQ(writer.WavFileName(), "a.WAV");
    EXPECT_EQ(errorOf([&] { writer.setWavFileName("b.mp3"); }), refused);
    EXPECT_EQ(errorOf([&] { writer.setWavFileName(""); }), refused);
    EXPECT_EQ(errorOf([&] { writer.setWavFileName("sounds.wav/take1"); }), refused);
    EXPECT_EQ(writer.WavFileName(), "a.WAV");
    writer.setWavFileName("/data/take.2.Wav");
    EXPECT_EQ(writer.WavFileName(), "/data/take.2.Wav");
}

// The two sizes of the reference cases; every header field is compared.
TEST(TAviWriter, Colour240x160HeadersAndFramesAreExact)
{
    TempDir dir;
    TAviWriter writer(1920, 1080);
    configure(writer, dir.file("c.avi"), 240, 160);
    writer.setFrameTime(40);   // must not change the rate
    writeClip(writer, false, 3);
    writer.CloseVideo();

    const RiffFile file(dir.file("c.avi"));
    const ContainerFacts facts = checkContainer(file, 240, 160, false);
    EXPECT_EQ(facts.frames, 3u);
    EXPECT_TRUE(facts.hasIdx1);
    EXPECT_FALSE(facts.openDml);

    const auto strh = file.data(file.strl()->children[0]);
    EXPECT_EQ(strh, bytes({'v',  'i', 'd', 's', 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0,   0, 0,   0,    0,
                           0,    1,   0,   0,   0, 30, 0, 0, 0, 0, 0, 0, 0, 3, 0,   0, 0,   0x00, 0xC2,
                           0x01, 0,   0,   0,   0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 240, 0, 160, 0}));
    const auto strf = file.data(file.strl()->children[1]);
    EXPECT_EQ(strf, bytes({40,   0,    0,    0, 240, 0, 0, 0, 160, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                           0x00, 0xC2, 0x01, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0}));
    const auto avih = file.data(file.hdrl()->children[0]);
    EXPECT_EQ(le32(avih, 0), 33333u);   // microseconds per frame at 30 fps
    EXPECT_EQ(le32(avih, 32), 240u);
    EXPECT_EQ(le32(avih, 36), 160u);

    // Every sample is the bitmap's stored rows, bottom row first.
    const Chunk& movi = *file.movi(0);
    for (std::int32_t i = 0; i < 3; ++i) {
        const auto sample = file.read(movi.firstFrameOffset + 8 + std::uint64_t(i) * (8 + 115200), 115200);
        const OutputBitmap bitmap = colourFrame(240, 160, i);
        EXPECT_TRUE(std::equal(sample.begin(), sample.end(), bitmap.data())) << "frame " << i;
    }
}

TEST(TAviWriter, Grey240x160HeadersAndFramesAreExact)
{
    TempDir dir;
    TAviWriter writer(1920, 1080);
    configure(writer, dir.file("g.avi"), 240, 160);
    writeClip(writer, true, 3);
    writer.CloseVideo();

    const RiffFile file(dir.file("g.avi"));
    EXPECT_EQ(checkContainer(file, 240, 160, true).frames, 3u);
    const auto strh = file.data(file.strl()->children[0]);
    EXPECT_EQ(strh, bytes({'v', 'i', 'd', 's', 'Y', '8', '0', '0', 0, 0, 0, 0, 0, 0, 0,   0, 0,   0,    0,
                           0,   1,   0,   0,   0,   30,  0,   0,   0, 0, 0, 0, 0, 3, 0,   0, 0,   0x00, 0x96,
                           0,   0,   0,   0,   0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 240, 0, 160, 0}));
    const auto strf = file.data(file.strl()->children[1]);
    ASSERT_EQ(strf.size(), 1064u);
    EXPECT_EQ(slice(strf, 0, 40), bytes({40,   0,    0, 0, 240, 0, 0, 0, 160, 0, 0, 0, 1, 0, 8, 0, 'Y', '8', '0', '0',
                                         0x00, 0x96, 0, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0}));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(slice(strf, 40 + 4 * std::size_t(i), 4), bytes({i, i, i, 0})) << "palette entry " << i;

    // Every sample is the caller's plane unchanged, top row first.
    const Chunk& movi = *file.movi(0);
    for (std::int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(file.read(movi.firstFrameOffset + 8 + std::uint64_t(i) * (8 + 38400), 38400), greyPlane(240, 160, i))
            << "frame " << i;
}

TEST(TAviWriter, MisuseIsRefusedAndTheOpenFileStaysValid)
{
    TempDir dir;
    TAviWriter writer(1920, 1080);
    configure(writer, dir.file("m.avi"), 32, 16);
    const OutputBitmap frame = colourFrame(32, 16, 0);
    const auto plane = greyPlane(32, 16, 0);
    EXPECT_EQ(errorOf([&] { writer.AddFrame(frame, 0); }), "AddFrame called while no AVI file is open");
    EXPECT_EQ(errorOf([&] { writer.AddGrayFrame(frame, plane.data(), 0); }),
              "AddGrayFrame called while no AVI file is open");
    EXPECT_EQ(errorOf([&] { writer.CloseVideo(); }), "CloseVideo called while no AVI file is open");

    writeClip(writer, false, 2);
    EXPECT_EQ(errorOf([&] { writer.OpenVideo(false); }),
              "OpenVideo called while an AVI file is open; call CloseVideo first");
    EXPECT_EQ(errorOf([&] { writer.AddGrayFrame(frame, plane.data(), 2); }),
              "AddGrayFrame cannot add a greyscale frame to a colour AVI file");
    EXPECT_EQ(errorOf([&] { writer.AddFrame(colourFrame(48, 16, 2), 2); }),
              "Frame size 48 x 16 differs from the AVI frame size 32 x 16");
    EXPECT_EQ(errorOf([&] { writer.AddFrame(OutputBitmap(), 2); }), "Invalid bitmap");
    EXPECT_EQ(errorOf([&] { writer.AddFrame(frame, 5); }), "Frame index 5 out of sequence; the next frame is 2");
    writer.setWidth(64);   // applies to the next file only
    writer.AddFrame(colourFrame(32, 16, 2), 2);
    EXPECT_EQ(writer.framesWritten(), 3);
    writer.CloseVideo();
    EXPECT_EQ(checkContainer(RiffFile(dir.file("m.avi")), 32, 16, false).frames, 3u);

    writer.setWidth(32);
    writer.OpenVideo(true);
    EXPECT_EQ(errorOf([&] { writer.AddFrame(frame, 0); }),
              "AddFrame cannot add a colour frame to a greyscale AVI file");
    EXPECT_EQ(errorOf([&] { writer.AddGrayFrame(frame, nullptr, 0); }), "AddGrayFrame needs a grey plane");
    writer.CloseVideo();
    EXPECT_EQ(checkContainer(RiffFile(dir.file("m.avi")), 32, 16, true).frames, 0u);
}

TEST(TAviWriter, OpenVideoFailuresLeaveTheWriterIdle)
{
    TempDir dir;
    TAviWriter writer(1920, 1080);
    configure(writer, dir.file("missing/x.avi"), 32, 16);
    EXPECT_EQ(errorOf([&] { writer.OpenVideo(false); }),
              "Failed to create AVI video work file " + dir.file("missing/x.avi") + ": No such file or directory");
    EXPECT_FALSE(writer.isOpen());
    writer.setFileName(dir.file("x.avi"));
    writer.setHeight(0);
    EXPECT_EQ(errorOf([&] { writer.OpenVideo(false); }), "Unsupported AVI frame size 32 x 0");
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.avi")));
}

TEST(TAviWriter, ReplacesAnExistingFileAndLeavesNothingElse)
{
    TempDir dir;
    const std::string path = dir.file("r.avi");
    std::ofstream(path) << std::string(1 << 20, 'x');
    TAviWriter writer(1920, 1080);
    configure(writer, path, 32, 16);
    writeClip(writer, false, 4);
    writer.CloseVideo();
    writeClip(writer, true, 1);
    writer.CloseVideo();
    const RiffFile file(path);
    EXPECT_EQ(checkContainer(file, 32, 16, true).frames, 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 1);
}

TEST(TAviWriter, DestructorFinishesAnOpenFile)
{
    TempDir dir;
    {
        TAviWriter writer(1920, 1080);
        configure(writer, dir.file("d.avi"), 16, 16);
        writeClip(writer, true, 3);
    }
    const ContainerFacts facts = checkContainer(RiffFile(dir.file("d.avi")), 16, 16, true);
    EXPECT_EQ(facts.frames, 3u);
    EXPECT_TRUE(facts.hasIdx1);
}

// Through the real decoder: ffprobe's view of the stream, then every frame
// decoded and compared byte for byte with what was added.
struct RoundTripCase {
    std::int32_t width;
    std::int32_t height;
    bool grey;
    std::int32_t frames;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << (c.grey ? "grey " : "colour ") << c.width << " x " << c.height << ", " << c.frames << " frames";
}

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, FfmpegDecodesEveryFrameRightWayUp)
{
    const RoundTripCase c = GetParam();
    TempDir dir;
    const std::string path = dir.file("t.avi");
    TAviWriter writer(1920, 1080);
    configure(writer, path, c.width, c.height);
    writeClip(writer, c.grey, c.frames);
    writer.CloseVideo();

    expectReadsBack(path, c.width, c.height, c.grey, c.frames);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         testing::Values(RoundTripCase{240, 160, false, 5}, RoundTripCase{240, 160, true, 5},
                                         // rows that need padding to 4 bytes
                                         RoundTripCase{10, 6, false, 4}, RoundTripCase{10, 6, true, 4},
                                         // a run that writes no frame
                                         RoundTripCase{240, 160, false, 0}, RoundTripCase{240, 160, true, 0}),
                         [](const auto& info) {
                             const RoundTripCase& c = info.param;
                             return std::string(c.grey ? "Grey" : "Colour") + std::to_string(c.width) + "x"
                                 + std::to_string(c.height) + "_" + std::to_string(c.frames) + "frames";
                         });

// A rate other than 30 is kept as its ratio in the headers that carry it,
// in a plain file and past the RIFF size limit, also when it is set while
// the file is open; ffprobe reads that ratio back.
struct RateCase {
    std::uint32_t rate;
    std::uint32_t scale;
    bool setWhileOpen;
    std::uint64_t riffSizeLimit;   // 0: the default
    std::uint32_t microSecondsPerFrame;
    const char* probed;
};

void PrintTo(const RateCase& c, std::ostream* os)
{
    *os << c.rate << "/" << c.scale << (c.setWhileOpen ? ", set while open" : "")
        << (c.riffSizeLimit ? ", OpenDML" : "");
}

class AviFrameRate : public testing::TestWithParam<RateCase> {};

TEST_P(AviFrameRate, IsKeptAsItsRatio)
{
    const RateCase c = GetParam();
    TempDir dir;
    const std::string path = dir.file("r.avi");
    TAviWriter writer(1920, 1080);
    configure(writer, path, 64, 48);
    if (c.riffSizeLimit != 0)
        writer.setRiffSizeLimit(c.riffSizeLimit);
    if (!c.setWhileOpen)
        writer.setFrameRate(c.rate, c.scale);
    writer.OpenVideo(false);
    if (c.setWhileOpen)
        writer.setFrameRate(c.rate, c.scale);
    for (std::int32_t i = 0; i < 5; ++i)
        writer.AddFrame(colourFrame(64, 48, i), i);
    writer.CloseVideo();

    const RiffFile file(path);
    EXPECT_EQ(checkContainer(file, 64, 48, false).openDml, c.riffSizeLimit != 0);
    const auto strh = file.data(file.strl()->children[0]);
    EXPECT_EQ(le32(strh, 20), c.scale);
    EXPECT_EQ(le32(strh, 24), c.rate);
    const auto avih = file.data(file.hdrl()->children[0]);
    EXPECT_EQ(le32(avih, 0), c.microSecondsPerFrame);
    EXPECT_EQ(le32(avih, 4), std::uint32_t((64 * 48 * 3 * std::uint64_t(c.rate) + c.scale / 2) / c.scale));
    auto info = probe(path);
    EXPECT_EQ(info["r_frame_rate"], c.probed);
    EXPECT_EQ(info["nb_read_packets"], "5");
}

INSTANTIATE_TEST_SUITE_P(Rates, AviFrameRate,
                         testing::Values(RateCase{60000, 1001, false, 0, 16683, "60000/1001"},
                                         RateCase{25, 1, true, 0, 40000, "25/1"},
                                         RateCase{24000, 1001, false, 30000, 41708, "24000/1001"}),
                         [](const auto& info) {
                             const RateCase& c = info.param;
                             return std::to_string(c.rate) + "_" + std::to_string(c.scale)
                                 + (c.setWhileOpen ? "_SetWhileOpen" : "") + (c.riffSizeLimit ? "_OpenDml" : "");
                         });

TEST(TAviWriter, AFrameRateWithoutAFrameTimeIsRefused)
{
    TAviWriter writer(640, 480);
    EXPECT_EQ(errorOf([&] { writer.setFrameRate(0, 1); }), "Unsupported AVI frame rate 0/1");
    EXPECT_EQ(errorOf([&] { writer.setFrameRate(25, 0); }), "Unsupported AVI frame rate 25/0");
    EXPECT_EQ(errorOf([&] { writer.setFrameRate(1, 5000); }), "Unsupported AVI frame rate 1/5000");
    EXPECT_EQ(writer.Rate(), 30u);
    EXPECT_EQ(writer.Scale(), 1u);
}
