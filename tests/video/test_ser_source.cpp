// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_source.h"

#include "analysis/rounding.h"
#include "ser/ser_format.h"
#include "support/measuring_sink.h"
#include "support/ser_writer.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <limits>
#include <thread>

using orbicrop::ser::kHeaderBytes;

namespace {

constexpr std::int64_t kPlayAll = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kToday = 638400000000000000;   // 100 ns ticks since year 1

// Keeps a copy of every picture, then scribbles over the buffer, as a sink
// may, so that a source that reuses a picture without converting it again
// shows up as wrong pixels.
class RecordingSink : public FrameSink {
public:
    std::int32_t throwAt = -1;
    std::int32_t stopAfter = -1;   // answer "stop" after this many frames
    bool readsSamples = true;
    std::vector<std::vector<std::uint8_t>> pictures;
    std::vector<double> times;
    std::vector<std::thread::id> threads;

    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override
    {
        pictures.emplace_back(buffer, buffer + bufferLength);
        times.push_back(sampleTime);
        threads.push_back(std::this_thread::get_id());
        std::memset(buffer, 0xEE, std::size_t(bufferLength));
        if (std::int32_t(pictures.size()) - 1 == throwAt)
            throw std::runtime_error("sink gave up");
        return std::int32_t(pictures.size()) == stopAfter ? 1 : 0;
    }
    bool readsStoredSamples() const override { return readsSamples; }
};

// Takes grey frames as they are and records them spread over three bytes,
// bottom row first, so that they compare with the 24-bit pictures.
class GraySink : public FrameSink {
public:
    GraySink(std::int32_t width, std::int32_t height, bool readsSamples = true)
        : m_width(width), m_height(height), m_readsSamples(readsSamples)
    {}
    std::vector<std::vector<std::uint8_t>> pictures;
    std::int32_t colourFrames = 0;

    bool acceptsGrayFrames() const override { return true; }
    bool readsStoredSamples() const override { return m_readsSamples; }
    std::int32_t GrayBufferCB(double, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        std::vector<std::uint8_t> picture;
        for (std::int32_t y = 0; y < m_height; ++y)
            for (std::int32_t x = 0; x < m_width; ++x)
                picture.insert(picture.end(), 3, bottomRow[std::ptrdiff_t(y) * stride + x]);
        pictures.push_back(std::move(picture));
        return 0;
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override
    {
        ++colourFrames;
        return 0;
    }

private:
    std::int32_t m_width;
    std::int32_t m_height;
    bool m_readsSamples;
};

// A ramp along the rows, top-left darkest, filling `bits`: smooth, as real
// pictures are, and different in every row so that a wrong flip shows.
SerClip Ramp(std::int32_t colourId, std::int32_t depth, std::int32_t frames, std::int32_t bits = -1,
             std::int32_t width = 37, std::int32_t height = 5)
{
    SerClip clip;
    clip.colourId = colourId;
    clip.depth = depth;
    clip.width = width;   // 37: not a multiple of any vector width
    clip.height = height;
    const std::int64_t top = (std::int64_t(1) << (bits < 0 ? depth : bits)) - 1;
    const std::int64_t last = std::int64_t(clip.width) * clip.height * clip.planes() - 1;
    for (std::int32_t f = 0; f < frames; ++f)
        clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t p) {
            const std::int64_t k = (std::int64_t(y) * clip.width + x) * clip.planes() + p;
            return (k * top / last + f) & top;   // frames differ too
        });
    return clip;
}

// What the sink should see for frame f when samples use `depth` bits:
// blue, green, red, rows bottom-up.
std::vector<std::uint8_t> Expected(const SerClip& clip, std::size_t f, std::int32_t depth)
{
    std::vector<std::uint8_t> picture;
    for (std::int32_t row = clip.height - 1; row >= 0; --row)
        for (std::int32_t x = 0; x < clip.width; ++x) {
            const std::size_t k =
                (std::size_t(row) * std::size_t(clip.width) + std::size_t(x)) * std::size_t(clip.planes());
            auto eight = [&](std::size_t i) {
                const std::uint32_t s = clip.frames[f][i];
                return std::uint8_t(std::min<std::uint32_t>(255, depth > 8 ? s >> (depth - 8) : s << (8 - depth)));
            };
            if (clip.colourId == 100)
                picture.insert(picture.end(), {eight(k + 2), eight(k + 1), eight(k)});
            else if (clip.colourId == 101)
                picture.insert(picture.end(), {eight(k), eight(k + 1), eight(k + 2)});
            else
                picture.insert(picture.end(), {eight(k), eight(k), eight(k)});
        }
    return picture;
}

RecordingSink Play(FrameSource& source, std::int64_t stop = kPlayAll, std::int32_t maxFrames = 0,
                   bool readsSamples = true)
{
    RecordingSink sink;
    sink.readsSamples = readsSamples;
    PlayLimits limits;
    limits.maxFrames = maxFrames;
    if (stop != kPlayAll)
        limits.stopTime = double(stop) / 1e7;
    source.play(limits, sink);
    return sink;
}

// Every frame delivered, each one as Expected.
void ExpectPictures(const std::string& path, const SerClip& clip, std::int32_t depth, std::size_t frames,
                    SerReading reading = SerReading::Mapped, bool readsSamples = true)
{
    const auto source = OpenSerSource(path, reading);
    const RecordingSink sink = Play(*source, kPlayAll, 0, readsSamples);
    ASSERT_EQ(sink.pictures.size(), frames);
    for (std::size_t f = 0; f < frames; ++f)
        EXPECT_EQ(sink.pictures[f], Expected(clip, f, depth)) << "frame " << f;
}

struct Format {
    const char* name;
    friend void PrintTo(const Format& p, std::ostream* os) { *os << p.name; }
    std::int32_t colourId;
    std::int32_t depth;
};

class SerPictures : public testing::TestWithParam<Format> {};

TEST_P(SerPictures, MatchWhatWasWritten)
{
    const TempDir dir;
    const SerClip clip = Ramp(GetParam().colourId, GetParam().depth, 3);
    const std::string path = dir.write("clip.ser", clip.bytes());
    ExpectPictures(path, clip, clip.depth, 3, SerReading::Mapped);
    ExpectPictures(path, clip, clip.depth, 3, SerReading::Copied);
    // Deep samples that no one reads are narrowed band by band as they are read.
    ExpectPictures(path, clip, clip.depth, 3, SerReading::Automatic, false);
}

INSTANTIATE_TEST_SUITE_P(ColourAndDepth, SerPictures,
                         testing::Values(Format{"Mono8", 0, 8}, Format{"Mono12", 0, 12}, Format{"Mono16", 0, 16},
                                         Format{"Rggb8", 8, 8}, Format{"Bggr12", 11, 12}, Format{"Myyc16", 19, 16},
                                         Format{"Rgb8", 100, 8}, Format{"Rgb12", 100, 12}, Format{"Rgb16", 100, 16},
                                         Format{"Bgr8", 101, 8}, Format{"Bgr16", 101, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerSource, GreyCapturesReachAGreySinkUnexpanded)
{
    const TempDir dir;
    for (const Format& format : {Format{"Mono8", 0, 8}, Format{"Mono12", 0, 12}, Format{"Rggb8", 8, 8},
                                 Format{"Bggr16", 11, 16}, Format{"Mono6", 0, 6}}) {
        for (std::int32_t width : {37, 701}) {
            // 701 x 377 two-byte samples: three bands, the last one short.
            const SerClip clip = Ramp(format.colourId, format.depth, 2, -1, width, width == 37 ? 5 : 377);
            const auto source = OpenSerSource(dir.write("grey.ser", clip.bytes()));
            for (const bool readsSamples : {true, false}) {
                GraySink sink(clip.width, clip.height, readsSamples);
                source->play({}, sink);
                ASSERT_EQ(sink.pictures.size(), 2u) << format.name;
                EXPECT_EQ(sink.colourFrames, 0);
                for (std::size_t f = 0; f < 2; ++f)
                    EXPECT_EQ(sink.pictures[f], Expected(clip, f, clip.depth)) << format.name << " frame " << f;
            }
        }
    }
    // Colour captures still come as 24-bit pictures.
    const SerClip rgb = Ramp(100, 8, 1);
    const auto source = OpenSerSource(dir.write("rgb.ser", rgb.bytes()));
    GraySink sink(rgb.width, rgb.height);
    source->play({}, sink);
    EXPECT_EQ(sink.colourFrames, 1);
    EXPECT_TRUE(sink.pictures.empty());
}

TEST(SerSource, LargeOddSizedFramesMatchToo)
{
    const TempDir dir;
    const SerClip clip = Ramp(100, 12, 2, -1, 701, 377);
    ExpectPictures(dir.write("clip.ser", clip.bytes()), clip, 12, 2);
}

TEST(SerSource, TopLeftOfTheFileIsTheStartOfTheTopStoredRow)
{
    const TempDir dir;
    SerClip clip = Ramp(100, 8, 1);
    clip.frames[0][0] = 10;   // red, green, blue of the top-left pixel
    clip.frames[0][1] = 20;
    clip.frames[0][2] = 30;
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    const RecordingSink sink = Play(*source);
    const std::size_t topRow = std::size_t(clip.height - 1) * std::size_t(clip.width) * 3;
    ASSERT_EQ(sink.pictures.size(), 1u);
    EXPECT_EQ(sink.pictures[0][topRow + 0], 30);
    EXPECT_EQ(sink.pictures[0][topRow + 1], 20);
    EXPECT_EQ(sink.pictures[0][topRow + 2], 10);
}

// Two frames of samples, each clip of its own kind.
SerClip TwelveBitRamp()
{
    return Ramp(0, 12, 2);
}

SerClip FlatFirstFrame()
{
    SerClip clip = Ramp(0, 12, 2);
    std::fill(clip.frames[0].begin(), clip.frames[0].end(), 0x0123);
    return clip;
}

// An 8-bit picture stored as 16 bits: every low byte 0.
SerClip EightBitsInTheHighByte()
{
    SerClip clip = Ramp(0, 16, 2, 8);
    for (auto& frame : clip.frames)
        for (std::uint16_t& sample : frame)
            sample = std::uint16_t(sample << 8);
    return clip;
}

// Full range across 256 pixels, the second row of each cell at half: steps
// of whole multiples of 256 two pixels apart, so that the bytes swapped
// change less than the samples.
SerClip SixteenBitMosaicRamp()
{
    SerClip clip;
    clip.colourId = 8;
    clip.depth = 16;
    clip.width = 256;
    clip.height = 4;
    for (std::int32_t f = 0; f < 2; ++f)
        clip.addFrame([](std::int32_t x, std::int32_t y, std::int32_t) { return (x * 256) >> (y & 1); });
    return clip;
}

struct ByteOrder {
    const char* name;
    friend void PrintTo(const ByteOrder& p, std::ostream* os) { *os << p.name; }
    std::int32_t flag;
    bool bigEndianData;
    SerClip (*make)();
};

class SerByteOrder : public testing::TestWithParam<ByteOrder> {};

TEST_P(SerByteOrder, SamplesComeOutInTheirOwnOrder)
{
    const TempDir dir;
    SerClip clip = GetParam().make();
    clip.littleEndianFlag = GetParam().flag;
    clip.bigEndianData = GetParam().bigEndianData;
    const std::string path = dir.write("clip.ser", clip.bytes());
    ExpectPictures(path, clip, clip.depth, 2);
    // Samples of 8 bits in either byte make the same pictures whichever way
    // round they are read; what is reported (and written out) differs.
    const SampleLayout samples = *OpenSerSource(path)->video()->samples;
    EXPECT_EQ(samples.bigEndian, GetParam().bigEndianData);
    EXPECT_EQ(samples.depth, clip.depth);
}

INSTANTIATE_TEST_SUITE_P(FlagAndData, SerByteOrder,
                         testing::Values(
                             // What capture programs write: 0 for little-endian data.
                             ByteOrder{"ZeroFlagLittleData", 0, false, TwelveBitRamp},
                             ByteOrder{"SetFlagBigData", 1, true, TwelveBitRamp},
                             // Writers that took the flag's name literally: samples beyond the
                             // declared depth in the flag's order, within it in the other, overrule it.
                             ByteOrder{"SetFlagLittleData", 1, false, TwelveBitRamp},
                             ByteOrder{"ZeroFlagBigData", 0, true, TwelveBitRamp},
                             ByteOrder{"FlatFrameKeepsSetFlag", 1, true, FlatFirstFrame},
                             ByteOrder{"FlatFrameKeepsZeroFlag", 0, false, FlatFirstFrame},
                             // Plausible either way round: the flag decides.
                             ByteOrder{"HighBytesZeroFlag", 0, false, EightBitsInTheHighByte},
                             ByteOrder{"HighBytesSetFlag", 1, true, EightBitsInTheHighByte},
                             ByteOrder{"MosaicRampZeroFlag", 0, false, SixteenBitMosaicRamp},
                             ByteOrder{"MosaicRampSetFlag", 1, true, SixteenBitMosaicRamp}),
                         [](const auto& info) { return std::string(info.param.name); });

// The depth the samples show, not the one the header declares, sets the
// scale: below it nothing is lost to clipping, above it nothing is too dark.
TEST(SerDepth, TheDataNotTheHeaderSetsTheScale)
{
    struct Row {
        const char* what;
        std::int32_t storedDepth;   // the ramp's samples (two bytes above 8)
        std::int32_t dataBits;      // bits the ramp's values use
        std::int32_t declared;      // the header's depth
        std::int32_t frames;
        std::int32_t scaledAs;
    };
    const Row rows[] = {
        {"16 declared, 12-bit data", 16, 12, 16, 2, 12},
        {"12 declared, 16-bit data", 16, 16, 12, 2, 16},
        {"16 declared, 8-bit data", 16, 8, 16, 1, 8},
        {"6 declared, one-byte 8-bit data", 8, 8, 6, 1, 8},
    };
    const TempDir dir;
    for (const Row& row : rows) {
        SerClip clip = Ramp(0, row.storedDepth, row.frames, row.dataBits);
        clip.depth = row.declared;
        SCOPED_TRACE(row.what);
        ExpectPictures(dir.write("clip.ser", clip.bytes()), clip, row.scaledAs, std::size_t(row.frames));
    }
}

TEST(SerDepth, ShallowOneByteSamplesFillTheByte)
{
    const TempDir dir;
    const SerClip clip = Ramp(0, 6, 1);
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    const RecordingSink sink = Play(*source);
    ASSERT_EQ(sink.pictures.size(), 1u);
    EXPECT_EQ(sink.pictures[0], Expected(clip, 0, 6));
    EXPECT_EQ(*std::max_element(sink.pictures[0].begin(), sink.pictures[0].end()), 63 << 2);
}

TEST(SerDepth, TheBrightestOfTheFirstFramesSettlesIt)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 16, 3, 10);
    const SerClip twelve = Ramp(0, 16, 1, 12);
    clip.frames[1] = twelve.frames[0];
    ExpectPictures(dir.write("clip.ser", clip.bytes()), clip, 12, 3);
}

TEST(SerDepth, ACaptureThatStartsDarkShowsItsDepthInItsLastFrame)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 16, 30, 10);
    clip.frames.back() = Ramp(0, 16, 1, 12).frames[0];
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    const RecordingSink sink = Play(*source);
    ASSERT_EQ(sink.pictures.size(), 30u);
    EXPECT_EQ(sink.pictures[0], Expected(clip, 0, 12));
}

TEST(SerDepth, AFrameBrighterThanTheProbedOnesSaturates)
{
    const TempDir dir;
    // Of 30 frames the probe sees 0, 29 and eight between, not frame 10.
    SerClip clip = Ramp(0, 16, 30, 12);
    // 4096 is 256 once its four low bits go: it must not wrap to 0.
    std::fill(clip.frames[10].begin(), clip.frames[10].end(), 4096);
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    const RecordingSink sink = Play(*source);
    ASSERT_EQ(sink.pictures.size(), 30u);
    EXPECT_EQ(sink.pictures[0], Expected(clip, 0, 12));
    EXPECT_EQ(sink.pictures[10], std::vector<std::uint8_t>(sink.pictures[10].size(), 255));
}

// Records the stored samples each frame brings along.
class NativeSink : public FrameSink {
public:
    std::vector<std::optional<std::int64_t>> times;
    std::vector<std::vector<std::uint8_t>> samples;
    std::int32_t depth = 0;
    std::string observer;
    bool readsSamples = true;

    bool readsStoredSamples() const override { return readsSamples; }

    std::int32_t FrameCB(const SourceFrame& handed) override
    {
        if (handed.native != nullptr)
            keep(*handed.native);
        return FrameSink::FrameCB(handed);
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override { return 0; }

protected:
    virtual void keep(const NativeFrame& frame)
    {
        times.push_back(frame.utcTicks);
        std::vector<std::uint8_t> bytes;
        for (std::int32_t y = 0; frame.topRow != nullptr && y < frame.height; ++y)
            bytes.insert(bytes.end(), frame.topRow + y * frame.stride,
                         frame.topRow + y * frame.stride + std::ptrdiff_t(frame.rowBytes()));
        samples.push_back(std::move(bytes));
        depth = frame.depth;
        observer = frame.header ? frame.header->observer : "";
    }
};

TEST(SerNative, FramesBringTheirLittleEndianSamplesDepthHeaderAndMaskedTimes)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 16, 3, 12);
    clip.bigEndianData = true;
    clip.littleEndianFlag = 1;
    const std::int64_t flags = std::int64_t(1) << 62;
    clip.timestamps = {flags | 100, flags | 200, flags | 300};
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    EXPECT_TRUE(source->video()->notice.empty());
    NativeSink sink;
    source->play({}, sink);
    ASSERT_EQ(sink.times.size(), 3u);
    EXPECT_EQ(sink.times[2], std::optional<std::int64_t>(300));
    EXPECT_EQ(sink.depth, 12);
    EXPECT_EQ(sink.observer, "Observer");
    const std::uint16_t last = clip.frames[1].back();
    EXPECT_EQ(sink.samples[1][sink.samples[1].size() - 2], last & 0xFF);
    EXPECT_EQ(sink.samples[1].back(), last >> 8);

    // A sink that reads no samples gets none, and everything else as before.
    NativeSink timesOnly;
    timesOnly.readsSamples = false;
    source->play({}, timesOnly);
    EXPECT_EQ(timesOnly.times, sink.times);
    EXPECT_EQ(timesOnly.depth, 12);
    EXPECT_EQ(timesOnly.observer, "Observer");
    EXPECT_TRUE(timesOnly.samples[1].empty());
}

// Frames are read ahead into a ring of buffers: over more frames than it
// holds, each frame's samples still come right before its own picture, and
// both on the playing thread.
TEST(SerNative, EachFramesSamplesComeWithItsOwnPictureThroughTheRing)
{
    class PairSink : public NativeSink {
    public:
        std::vector<std::vector<std::uint8_t>> pictures;
        std::vector<std::thread::id> threads;
        void keep(const NativeFrame& frame) override
        {
            NativeSink::keep(frame);
            threads.push_back(std::this_thread::get_id());
        }
        std::int32_t BufferCB(double, std::uint8_t* buffer, std::int32_t length) override
        {
            EXPECT_EQ(samples.size(), pictures.size() + 1) << "samples and picture out of step";
            pictures.emplace_back(buffer, buffer + length);
            std::memset(buffer, 0xEE, std::size_t(length));
            return 0;
        }
    };
    const TempDir dir;
    SerClip clip = Ramp(0, 16, 9, 12);
    clip.bigEndianData = true;
    clip.littleEndianFlag = 1;
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    PairSink sink;
    source->play({}, sink);
    ASSERT_EQ(sink.pictures.size(), 9u);
    for (std::size_t f = 0; f < 9; ++f) {
        EXPECT_EQ(sink.pictures[f], Expected(clip, f, 12)) << "frame " << f;
        const std::uint16_t first = clip.frames[f].front();
        EXPECT_EQ(sink.samples[f][0] | sink.samples[f][1] << 8, first) << "frame " << f;
        EXPECT_EQ(sink.threads[f], std::this_thread::get_id());
    }
}

TEST(SerNative, StampsThatDoNotIncreaseOrAreCutDateNoFrameAndSaySo)
{
    const TempDir dir;
    for (bool cut : {false, true}) {
        SerClip clip = Ramp(0, 8, 3);
        clip.timestamps = cut ? std::vector<std::int64_t>{kToday, kToday + 1, kToday + 2}
                              : std::vector<std::int64_t>{kToday, kToday + 5, kToday + 5};
        std::vector<std::uint8_t> bytes = clip.bytes();
        if (cut)
            bytes.resize(bytes.size() - 4);
        const auto source = OpenSerSource(dir.write("clip.ser", bytes));
        EXPECT_FALSE(source->video()->notice.empty());
        NativeSink sink;
        source->play({}, sink);
        ASSERT_EQ(sink.times.size(), 3u);
        EXPECT_FALSE(sink.times[0].has_value());
    }
}

TEST(SerFrames, APartialLastFrameIsLeftOut)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 12, 3);
    for (std::int32_t i = 0; i < 3; ++i)
        clip.timestamps.push_back(1000 + i * 400000);
    std::vector<std::uint8_t> bytes = clip.bytes();
    bytes.resize(kHeaderBytes + 2 * clip.frameBytes() + clip.frameBytes() / 2);
    const std::string path = dir.write("cut.ser", bytes);

    const VideoInfo info = *OpenSerSource(path)->video();
    EXPECT_EQ(info.frameRate, 30.0);   // the time stamps went with the cut
    EXPECT_EQ(RoundHalfEven(info.frameRate * info.length), 2);
    ExpectPictures(path, clip, 12, 2);
}

TEST(SerFrames, AHeaderThatNamesMoreFramesThanTheFileHoldsIsToldAndTheWholeFramesPlay)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 8, 16);
    clip.declaredFrames = 120;
    const std::string path = dir.write("cut.ser", clip.bytes());

    const VideoInfo info = *OpenSerSource(path)->video();
    EXPECT_EQ(info.notice, "The header names 120 frames; the file holds 16 whole frames");
    EXPECT_EQ(info.declaredFrames, std::optional<std::int64_t>(120));
    ExpectPictures(path, clip, 8, 16);
}

TEST(SerFrames, ADeclaredCountOfZeroCountsTheFramesPresent)
{
    const TempDir dir;
    SerClip clip = Ramp(8, 8, 4);
    clip.declaredFrames = 0;
    ExpectPictures(dir.write("clip.ser", clip.bytes()), clip, 8, 4);
}

TEST(SerSource, IsOneVideoStreamOfTheFramesSize)
{
    const TempDir dir;
    const auto source = OpenSerSource(dir.write("clip.ser", Ramp(0, 8, 4).bytes()));
    const VideoInfo info = *source->video();
    EXPECT_EQ(info.width, 37);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.frameRate, 30.0);
    EXPECT_EQ(RoundHalfEven(info.frameRate * info.length), 4);
}

struct Stamps {
    const char* name;
    friend void PrintTo(const Stamps& p, std::ostream* os) { *os << p.name; }
    std::vector<std::int64_t> ticks;
    double rate;
};

class SerFrameRate : public testing::TestWithParam<Stamps> {};

TEST_P(SerFrameRate, ComesFromIncreasingTimeStamps)
{
    const TempDir dir;
    const Stamps& stamps = GetParam();
    SerClip clip = Ramp(0, 8, std::int32_t(stamps.ticks.size()));
    clip.timestamps = stamps.ticks;
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    const VideoInfo info = *source->video();
    EXPECT_NEAR(info.frameRate, stamps.rate, 1e-6);
    // The run's frame count, rate x length rounded, is the number of frames.
    EXPECT_EQ(RoundHalfEven(info.frameRate * info.length), std::int64_t(stamps.ticks.size()));
    const RecordingSink sink = Play(*source);
    ASSERT_EQ(sink.times.size(), stamps.ticks.size());
    EXPECT_DOUBLE_EQ(sink.times.back(), double(stamps.ticks.size() - 1) / info.frameRate);
}

INSTANTIATE_TEST_SUITE_P(
    Stamps, SerFrameRate,
    testing::Values(
        Stamps{"Every40ms", {kToday, kToday + 400000, kToday + 800000, kToday + 1200000}, 25.0},
        // 4 intervals over 0.5 s; single stamps need not be even.
        Stamps{"Uneven", {kToday, kToday + 100000, kToday + 300000, kToday + 310000, kToday + 5000000}, 8.0},
        // Seven per second in whole ticks: the rate is not a round number,
        // yet the frame count must still come out whole.
        Stamps{"Seven", {0, 1428571, 2857143, 4285714, 5714286, 7142857, 8571429}, 7.0},
        Stamps{"AllZero", {0, 0, 0}, 30.0}, Stamps{"GoingBack", {kToday, kToday + 400000, kToday + 200000}, 30.0},
        Stamps{"Repeated", {kToday, kToday + 400000, kToday + 400000}, 30.0}, Stamps{"OneFrame", {kToday}, 30.0}),
    [](const auto& info) { return std::string(info.param.name); });

// Garbage stamps can still be increasing. Their rate is absurd but harmless;
// the length in 100 ns ticks must not overflow into a negative duration.
TEST(SerSource, TimeStampsMillenniaApartKeepTheDurationInRange)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 8, 2);
    clip.timestamps = {-9000000000000000000, 9000000000000000000};
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    EXPECT_EQ(Play(*source).times.size(), 2u);
}

struct Stop {
    const char* name;
    friend void PrintTo(const Stop& p, std::ostream* os) { *os << p.name; }
    std::int64_t stop;
    std::int32_t maxFrames;
    std::size_t frames;
};

class SerStop : public testing::TestWithParam<Stop> {};

// Ten frames at 25 per second: frame i at i x 400 000, duration 4 000 000.
TEST_P(SerStop, DeliversTheFramesBeforeTheStop)
{
    const TempDir dir;
    SerClip clip = Ramp(0, 8, 10);
    for (std::int64_t i = 0; i < 10; ++i)
        clip.timestamps.push_back(kToday + i * 400000);
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    ASSERT_DOUBLE_EQ(source->video()->length, 0.4);
    const RecordingSink sink = Play(*source, GetParam().stop, GetParam().maxFrames);
    ASSERT_EQ(sink.pictures.size(), GetParam().frames);
    for (std::size_t f = 0; f < sink.pictures.size(); ++f) {
        EXPECT_EQ(sink.pictures[f], Expected(clip, f, 8));
        EXPECT_DOUBLE_EQ(sink.times[f], double(f) / 25.0);
        EXPECT_EQ(sink.threads[f], std::this_thread::get_id());
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, SerStop,
                         testing::Values(Stop{"TwoFrames", 800000, 0, 2}, Stop{"JustPastTheSecond", 800001, 0, 3},
                                         Stop{"NineFrames", 3600000, 0, 9}, Stop{"AtDuration", 4000000, 0, 10},
                                         Stop{"PastDuration", kPlayAll, 0, 10}, Stop{"AtZero", 0, 0, 0},
                                         Stop{"MaxFramesFour", 4000000, 4, 4},
                                         Stop{"StopBeforeMaxFrames", 800000, 5, 2},
                                         Stop{"MaxFramesBeforeStop", 3600000, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerSource, ASinkThatAsksToStopGetsNoFurtherFrame)
{
    const TempDir dir;
    const auto source = OpenSerSource(dir.write("clip.ser", Ramp(0, 8, 10).bytes()));
    RecordingSink sink;
    sink.stopAfter = 4;
    source->play({}, sink);
    EXPECT_EQ(sink.pictures.size(), 4u);
}

TEST(SerSource, ASinkFailureStopsPlayingAndPassesThrough)
{
    const TempDir dir;
    const SerClip clip = Ramp(0, 16, 10);
    const auto source = OpenSerSource(dir.write("clip.ser", clip.bytes()));
    RecordingSink failing;
    failing.throwAt = 2;
    EXPECT_THROW(source->play({}, failing), std::runtime_error);
    EXPECT_EQ(failing.pictures.size(), 3u);
    // Stopped cleanly: the source plays again from the start.
    const RecordingSink again = Play(*source);
    ASSERT_EQ(again.pictures.size(), 10u);
    EXPECT_EQ(again.pictures[9], Expected(clip, 9, 16));
}

TEST(SerSource, AFileCutWhilePlayingFailsAfterTheFramesBeforeTheCut)
{
    // Automatic, to a sink that reads no samples: read in bands.
    for (const SerReading reading : {SerReading::Mapped, SerReading::Copied, SerReading::Automatic}) {
        const TempDir dir;
        // Frames of four pages, so that the cut leaves whole mapped pages
        // beyond the end of the file: touching those raises SIGBUS.
        SerClip clip;
        clip.depth = 16;
        clip.width = 1024;
        clip.height = 8;
        for (int f = 0; f < 12; ++f)
            clip.addFrame([f](std::int32_t x, std::int32_t y, std::int32_t) { return (x + y + f) & 0xFF; });
        const std::string path = dir.write("clip.ser", clip.bytes());
        const auto source = OpenSerSource(path, reading);
        std::filesystem::resize_file(path, kHeaderBytes + 9 * clip.frameBytes() + 1);
        RecordingSink sink;
        sink.readsSamples = reading != SerReading::Automatic;
        try {
            source->play({}, sink);
            ADD_FAILURE() << "no failure";
        } catch (const FrameSourceError& e) {
            EXPECT_EQ(e.failure(), SourceFailure::Decode);
        }
        EXPECT_EQ(sink.pictures.size(), 9u);
    }
}

// The resident pages of mapped files, in KiB (RssFile in /proc/self/status).
std::int64_t MappedFileKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("RssFile:", 0) == 0)
            return std::stoll(line.substr(8));
    return -1;
}

// Takes grey frames and notes the most file pages resident while it has one.
class ResidentSink : public FrameSink {
public:
    std::int64_t most = 0;
    std::int32_t frames = 0;

    bool acceptsGrayFrames() const override { return true; }
    std::int32_t GrayBufferCB(double, const std::uint8_t*, std::ptrdiff_t) override
    {
        ++frames;
        most = std::max(most, MappedFileKiB());
        return 0;
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override { return 0; }
};

// A mapped capture gives back each frame's pages once the frames after it are
// read, the frames opening looked at included: a long capture must not stay
// in memory whole.
TEST(SerSource, AMappedCaptureKeepsOnlyTheFramesInHandResident)
{
    const TempDir dir;
    SerClip clip;
    clip.depth = 16;
    clip.width = 1024;
    clip.height = 512;   // 1 MiB a frame
    for (int f = 0; f < 64; ++f)
        clip.addFrame([f](std::int32_t x, std::int32_t y, std::int32_t) { return (x * 64 + y + f) & 0xFFFF; });
    const std::string path = dir.write("clip.ser", clip.bytes());
    const auto source = OpenSerSource(path, SerReading::Mapped);
    const std::int64_t before = MappedFileKiB();
    ASSERT_GE(before, 0) << "no RssFile in /proc/self/status";
    ResidentSink sink;
    source->play({}, sink);
    EXPECT_EQ(sink.frames, 64);
    // The ring's frames and the two being read: about 8 MiB.
    EXPECT_LT(std::max(sink.most, MappedFileKiB()) - before, 24 * 1024) << "KiB of the capture resident at once";
}

struct BadFile {
    const char* name;
    friend void PrintTo(const BadFile& p, std::ostream* os) { *os << p.name; }
    std::size_t offset;   // a 32-bit field to overwrite
    std::uint32_t value;
    std::size_t keep;   // bytes of the file kept; 0: all
};

class SerBadFile : public testing::TestWithParam<BadFile> {};

TEST_P(SerBadFile, CannotBeLoaded)
{
    const TempDir dir;
    std::vector<std::uint8_t> bytes = Ramp(0, 16, 2).bytes();
    const BadFile& bad = GetParam();
    for (int i = 0; i < 4; ++i)
        bytes[bad.offset + std::size_t(i)] = std::uint8_t(bad.value >> (8 * i));
    if (bad.keep > 0)
        bytes.resize(bad.keep);
    try {
        OpenSerSource(dir.write("bad.ser", bytes));
        ADD_FAILURE() << "opened";
    } catch (const FrameSourceError& e) {
        EXPECT_EQ(e.failure(), SourceFailure::Load);
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, SerBadFile,
                         testing::Values(BadFile{"ShortHeader", 14, 0, 177}, BadFile{"HeaderOnly", 14, 0, kHeaderBytes},
                                         BadFile{"NoWholeFrame", 14, 0, kHeaderBytes + 37 * 5 * 2 - 1},
                                         BadFile{"ZeroWidth", 26, 0, 0}, BadFile{"Width16385", 26, 16385, 0},
                                         BadFile{"ZeroHeight", 30, 0, 0}, BadFile{"DepthZero", 34, 0, 0},
                                         BadFile{"Depth17", 34, 17, 0}, BadFile{"UnknownColour", 18, 12, 0},
                                         // 65536 x 65536 wraps to 0 in 32 bits, -1 x -1 to 1.
                                         BadFile{"WidthWrapsToZero", 26, 65536, 0},
                                         BadFile{"NegativeHeight", 30, 0xFFFFFFFF, 0},
                                         BadFile{"NotSer", 0, 0x46464952 /* "RIFF" */, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Frames read and measured by several threads reach the sink in order, each
// with its own measurement: a bright square that moves along the frames.
TEST(SerSource, FramesMeasuredAheadComeWithTheirOwnMeasurement)
{
    const TempDir dir;
    SerClip clip;
    clip.depth = 12;
    clip.width = 64;
    clip.height = 32;
    constexpr std::int32_t kFrames = 40;
    for (std::int32_t f = 0; f < kFrames; ++f)
        clip.addFrame([&](std::int32_t x, std::int32_t y, std::int32_t) {
            return x >= f && x < f + 12 && y >= 10 && y < 22 ? 4000 : 200;
        });
    const auto source = OpenSerSource(dir.write("moving.ser", clip.bytes()));
    for (const bool gray : {true, false}) {
        MeasuringSink sink(clip.width, clip.height, gray);
        source->play({}, sink);
        ASSERT_EQ(sink.centres.size(), std::size_t(kFrames));
        EXPECT_EQ(sink.measuredAhead, kFrames);
        EXPECT_EQ(sink.wrong, 0);
        EXPECT_TRUE(std::is_sorted(sink.centres.begin(), sink.centres.end()));
        EXPECT_LT(sink.centres.front() + 30.0, sink.centres.back());
    }
}

TEST(SerSource, AMissingFileCannotBeLoaded)
{
    const TempDir dir;
    EXPECT_THROW(OpenSerSource(dir.write("x", {}) + ".missing"), FrameSourceError);
}

TEST(IsSerFile, LooksAtTheContentNotTheName)
{
    const TempDir dir;
    const std::vector<std::uint8_t> ser = Ramp(0, 8, 1).bytes();
    EXPECT_TRUE(IsSerFile(dir.write("capture.avi", ser)));
    EXPECT_TRUE(IsSerFile(dir.write("headeronly", {ser.begin(), ser.begin() + 14})));
    EXPECT_FALSE(IsSerFile(dir.write("short.ser", {ser.begin(), ser.begin() + 13})));
    EXPECT_FALSE(
        IsSerFile(dir.write("riff.ser", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'})));
    EXPECT_FALSE(IsSerFile(dir.write("x", {}) + ".missing"));
}

}   // namespace
