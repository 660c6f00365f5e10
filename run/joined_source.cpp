// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/joined_source.h"

#include "analysis/debayer_crop.h"
#include "analysis/rounding.h"
#include "fileio/input_file.h"
#include "output/paths.h"
#include "ser/ser_format.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>
#include <utility>

std::int32_t FramesOf(const VideoInfo& info)
{
    const double frames = info.frameRate * info.length;
    if (!std::isfinite(frames) || frames <= 0.0)
        return 0;
    return frames >= 2147483647.0 ? 2147483647 : std::int32_t(RoundHalfEven(frames));
}

namespace {

std::string Dec(std::int64_t value)
{
    return std::to_string(value);
}

std::string SizeOf(const VideoInfo& info)
{
    return Dec(info.width) + " \u00d7 " + Dec(info.height);
}

// "12-bit RGGB", "8-bit mono": the words a SER header's colour id and depth
// come to.
std::string SamplesOf(const SampleLayout& samples)
{
    constexpr std::int32_t kSamplesRgb = 100;
    const std::string layout = samples.colour == kSamplesMono ? "mono"
        : samples.colour == kSamplesBgr                       ? "BGR"
        : samples.colour == kSamplesRgb                       ? "RGB"
                                                              : std::string(MosaicName(samples.colour));
    return Dec(samples.depth) + "-bit " + layout;
}

// A file opened and described, or why the join cannot use it.
DescribedSource Describe(const std::string& path, const SourceOpener& open, std::string& why)
{
    DescribedSource described = OpenDescribed(path, open);
    if (!described.source)
        why = "Cannot join " + FileNameOf(path) + ": it could not be opened";
    else if (!described.video)
        why = "Cannot join " + FileNameOf(path) + ": it holds no video stream";
    return described;
}

// Which file a path names, whatever its spelling or the links to it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino};
}

// "a.ser", "a.ser and b.ser", "a.ser, b.ser and c.ser".
std::string Listed(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

// Hands the frames of one file on as frames of the joined video.
//
// A part whose samples use fewer bits than the join's (one part of a 12-bit
// capture whose data never reach the 12th bit) is handed on at the join's
// depth: its native frames name it, and its 8-bit picture, narrowed by its
// own depth, is narrowed the rest of the way, so that every part's picture
// is what the joined capture read as one file would give. Shifting the
// narrowed bytes further right is exact: both narrowings are shifts.
class PartSink final : public WholeFrameSink {
public:
    PartSink(FrameSink& sink, double timeOffset, std::int32_t depth, std::int32_t shift, std::int32_t width,
             std::int32_t height, JoinedPart* part)
        : m_sink(sink), m_offset(timeOffset), m_depth(depth), m_shift(shift), m_width(width), m_height(height),
          m_part(part)
    {}

    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        SourceFrame joined = frame;
        joined.sampleTime += m_offset;
        NativeFrame native;
        if (frame.native != nullptr) {
            if (m_part != nullptr && !m_part->stamped)
                m_part->stamped = frame.native->utcTicks.has_value();
            if (m_shift > 0) {
                native = *frame.native;
                native.depth = m_depth;
                joined.native = &native;
                narrow(joined);
            }
        }
        ++m_delivered;
        m_status = m_sink.FrameCB(joined);
        return m_status;
    }
    bool acceptsGrayFrames() const override { return m_sink.acceptsGrayFrames(); }
    bool acceptsPaintedFrames() const override { return m_sink.acceptsPaintedFrames(); }
    // A picture narrowed here is measured anew: one measured ahead saw it brighter.
    std::optional<FrameMeasurer> measurerAhead() override
    {
        return m_shift > 0 ? std::nullopt : m_sink.measurerAhead();
    }
    bool readsStoredSamples() const override { return m_sink.readsStoredSamples(); }

    std::int32_t delivered() const { return m_delivered; }
    bool stopped() const { return m_status != 0; }

private:
    // The picture narrowed by m_shift bits more: a 24-bit one in place (the
    // sink may write into it), a grey one into a plane of our own.
    void narrow(SourceFrame& frame)
    {
        frame.measured = nullptr;
        const auto down = [shift = unsigned(m_shift)](std::uint8_t value) { return std::uint8_t(value >> shift); };
        if (frame.buffer != nullptr) {
            std::transform(frame.buffer, frame.buffer + frame.bufferLength, frame.buffer, down);
            return;
        }
        if (frame.grayBottomRow == nullptr)
            return;
        const std::size_t width = std::size_t(m_width);
        m_plane.resize(width * std::size_t(m_height));
        for (std::int32_t y = 0; y < m_height; ++y) {
            const std::uint8_t* row = frame.grayBottomRow + std::ptrdiff_t(y) * frame.grayStride;
            std::transform(row, row + width, m_plane.data() + std::size_t(y) * width, down);
        }
        frame.grayBottomRow = m_plane.data();
        frame.grayStride = std::ptrdiff_t(width);
    }

    FrameSink& m_sink;
    double m_offset;
    std::int32_t m_depth;   // the join's
    std::int32_t m_shift;   // the join's depth less the part's
    std::int32_t m_width;
    std::int32_t m_height;
    JoinedPart* m_part;   // what the part delivered, when it is kept
    std::vector<std::uint8_t> m_plane;
    std::int32_t m_delivered = 0;
    std::int32_t m_status = 0;
};

// The capture time of the last frame a play delivered, as the frame itself
// carries it (a SER file's time stamp).
class CaptureTimeSink final : public FrameSink {
public:
    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        m_time = frame.native != nullptr ? frame.native->utcTicks : std::nullopt;
        return 0;
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override { return 0; }
    bool acceptsGrayFrames() const override { return true; }
    bool readsStoredSamples() const override { return false; }
    const std::optional<std::int64_t>& time() const { return m_time; }

private:
    std::optional<std::int64_t> m_time;
};

}   // namespace

std::optional<std::int64_t> CaptureTimeOfFrame(FrameSource& source, std::int32_t frame)
{
    CaptureTimeSink sink;
    PlayLimits limits;
    limits.firstFrame = frame;
    limits.maxFrames = 1;
    try {
        source.play(limits, sink);
    } catch (const FrameSourceError&) {
        return std::nullopt;   // a damaged file: its run will tell
    }
    return sink.time();
}

// Only the frames of sources that name their samples (SER) carry capture
// times of their own; the others' times come from the run's start, the
// same for every part.
CaptureSpan CaptureSpanOf(FrameSource& source, const VideoInfo& video)
{
    CaptureSpan span;
    const std::int32_t frames = FramesOf(video);
    if (!video.samples || frames <= 0)
        return span;
    span.first = CaptureTimeOfFrame(source, 0);
    if (span.first)
        span.last = frames == 1 ? span.first : CaptureTimeOfFrame(source, frames - 1);
    return span;
}

std::optional<std::int32_t> DeclaredDepthOf(const std::string& path)
{
    try {
        const orbicrop::fileio::InputFile file = orbicrop::fileio::InputFile::open(path);
        std::array<std::uint8_t, orbicrop::ser::kHeaderBytes> bytes{};
        if (file.readAt(0, bytes) != bytes.size())
            return std::nullopt;
        const orbicrop::ser::SerHeaderParse parsed = orbicrop::ser::ParseSerHeader(bytes);
        if (!parsed.ok())
            return std::nullopt;
        return parsed.header.depth;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

std::optional<std::string> JoinRefusal(const std::vector<std::string>& files, const SourceOpener& open)
{
    std::optional<VideoInfo> first;
    std::int32_t firstDepth = 0;
    std::vector<std::pair<FileIdentity, std::string>> seen;
    // The latest end of the parts before, where their frames tell it.
    std::optional<std::int64_t> lastEnd;
    std::string lastEndPath;
    for (const std::string& path : files) {
        // Twice the same file would be joined twice, its stamps repeated.
        if (const std::optional<FileIdentity> identity = IdentityOf(path)) {
            for (const auto& [earlier, earlierPath] : seen)
                if (earlier == *identity)
                    return "Cannot join " + FileNameOf(path) + ": "
                        + (FileNameOf(path) == FileNameOf(earlierPath)
                               ? "it is given twice"
                               : "it is the same file as " + FileNameOf(earlierPath));
            seen.emplace_back(*identity, path);
        }
        std::string why;
        const DescribedSource described = Describe(path, open, why);
        if (!described.video)
            return why;
        const VideoInfo& video = *described.video;
        // Samples are compared by the depth a header declares, which every
        // part of one capture shares; by the bits the data use only where no
        // header tells.
        std::optional<SampleLayout> samples = video.samples;
        if (samples)
            samples->depth = DeclaredDepthOf(path).value_or(samples->depth);
        if (!first) {
            first = video;
            firstDepth = samples ? samples->depth : 0;
        } else {
            const std::string lead = "Cannot join " + FileNameOf(path) + ": its frames are ";
            if (video.width != first->width || video.height != first->height)
                return lead + SizeOf(video) + ", those of " + FileNameOf(files.front()) + " " + SizeOf(*first);
            // A SER output holds one colour id and one depth for all its frames.
            std::optional<SampleLayout> firstSamples = first->samples;
            if (firstSamples)
                firstSamples->depth = firstDepth;
            const bool samplesDiffer = firstSamples.has_value() != samples.has_value()
                || (firstSamples && (firstSamples->colour != samples->colour || firstSamples->depth != samples->depth));
            if (samplesDiffer)
                return lead + (samples ? SamplesOf(*samples) : "decoded video") + ", those of "
                    + FileNameOf(files.front()) + " " + (firstSamples ? SamplesOf(*firstSamples) : "decoded video");
        }
        // Parts given out of their order would be written out of it.
        const CaptureSpan span = CaptureSpanOf(*described.source, video);
        if (span.first && lastEnd && *span.first < *lastEnd)
            return FileNameOf(path) + " starts before " + FileNameOf(lastEndPath)
                + " ends: give the parts in the order they were captured";
        if (span.last && (!lastEnd || *span.last > *lastEnd)) {
            lastEnd = span.last;
            lastEndPath = path;
        }
    }
    return std::nullopt;
}

std::optional<std::string> UnstampedPartsNote(const JoinedParts& parts, bool pieces)
{
    bool stamped = false;
    std::vector<std::string> unstamped;
    for (const JoinedPart& part : parts) {
        if (part.written == 0 || !part.stamped)
            continue;
        if (*part.stamped)
            stamped = true;
        else
            unstamped.push_back(FileNameOf(part.input));
    }
    if (!stamped || unstamped.empty())
        return std::nullopt;
    return Listed(unstamped) + (unstamped.size() == 1 ? " carries" : " carry") + " no time stamps, so "
        + (!pieces                     ? "the joined output has none"
               : unstamped.size() == 1 ? "the pieces that hold its frames have none"
                                       : "the pieces that hold their frames have none");
}

JoinedSource::JoinedSource(std::vector<std::string> files, SourceOpener open, std::shared_ptr<JoinedParts> parts)
    : m_files(std::move(files)), m_open(std::move(open)), m_parts(std::move(parts))
{}

std::optional<VideoInfo> JoinedSource::video()
{
    std::optional<VideoInfo> joined;
    std::int64_t frames = 0;
    std::optional<std::int64_t> declared = 0;
    m_described.clear();
    m_depth = 0;
    for (const std::string& path : m_files) {
        std::optional<VideoInfo> video = m_open(path)->video();
        if (!video)
            return std::nullopt;
        const std::int32_t depth = video->samples ? video->samples->depth : 0;
        m_described.push_back({path, FramesOf(*video), video->length, depth});
        m_depth = std::max(m_depth, depth);
        frames += m_described.back().frames;
        if (declared && video->declaredFrames)
            *declared += *video->declaredFrames;
        else
            declared.reset();
        if (!joined) {
            joined = std::move(video);
        } else if (!video->notice.empty()) {
            // Said of the join, which the log names after its first file.
            const std::string notice = FileNameOf(path) + ": " + video->notice;
            joined->notice += joined->notice.empty() ? notice : "; " + notice;
        }
    }
    if (!joined)
        return std::nullopt;
    if (joined->frameRate > 0.0)
        joined->length = double(frames) / joined->frameRate;
    joined->declaredFrames = declared;
    if (joined->samples)
        joined->samples->depth = m_depth;
    return joined;
}

void JoinedSource::play(const PlayLimits& limits, FrameSink& sink)
{
    if (m_described.size() != m_files.size() && !video())
        throw FrameSourceError(SourceFailure::Load);
    if (m_parts) {
        m_parts->clear();
        std::int32_t first = 0;
        for (const Part& part : m_described) {
            m_parts->push_back({part.path, first, 0, 0, std::nullopt});
            first += part.frames;
        }
    }
    std::int32_t skip = std::max(limits.firstFrame, 0);   // frames before the play's first, in the joined numbering
    std::int32_t index = 0;                               // the joined number of the next part's first frame
    std::int32_t delivered = 0;
    double offset = 0.0;
    for (std::size_t i = 0; i < m_described.size(); ++i) {
        const Part& part = m_described[i];
        const double nextOffset = offset + part.length;
        const std::int32_t nextIndex = index + part.frames;
        if (skip >= part.frames) {   // the play starts in a later file
            skip -= part.frames;
            index = nextIndex;
            offset = nextOffset;
            continue;
        }
        PlayLimits own;
        own.firstFrame = skip;
        own.decoderThreads = limits.decoderThreads;
        skip = 0;
        if (limits.maxFrames > 0)
            own.maxFrames = limits.maxFrames - delivered;
        if (std::isfinite(limits.stopTime))
            own.stopTime = limits.stopTime - offset;
        if (own.stopTime <= 0.0)
            break;
        // A source plays once it has described its video: FFmpeg's chooses
        // its stream and learns its length there.
        const std::unique_ptr<FrameSource> source = m_open(part.path);
        const std::optional<VideoInfo> video = source->video();
        if (!video)
            throw FrameSourceError(SourceFailure::Load);
        PartSink partSink(sink, offset, m_depth, part.depth > 0 ? m_depth - part.depth : 0, video->width, video->height,
                          m_parts ? &(*m_parts)[i] : nullptr);
        source->play(own, partSink);
        delivered += partSink.delivered();
        if (m_parts)
            (*m_parts)[i].frames = partSink.delivered();
        if (partSink.stopped() || (limits.maxFrames > 0 && delivered >= limits.maxFrames))
            break;
        index = nextIndex;
        offset = nextOffset;
    }
}

SourceOpener JoinedOpener(std::vector<std::string> files, SourceOpener open, std::shared_ptr<JoinedParts> parts)
{
    return [files = std::move(files), open = std::move(open), parts = std::move(parts)](const std::string&) {
        return std::unique_ptr<FrameSource>(std::make_unique<JoinedSource>(files, open, parts));
    };
}
