// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/actions.h"

#include "analysis/debayer_crop.h"

#include "output/paths.h"
#include "output/segmented_output.h"
#include "output/staged_output.h"
#include "run/files_at_once.h"
#include "run/calibration_setup.h"
#include "run/calibrating_sink.h"
#include "run/file_run.h"
#include "run/forwarding_host.h"
#include "run/joined_source.h"
#include "run/meridian_flip.h"
#include "time/capture_time.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// Closes the output however the run ends, so that it is never left
// half-written behind an exception; the frame handler stops writing to it.
class CloseOnExit {
public:
    CloseOnExit(TProcessingState& state, BatchOutput& output) : m_state(state), m_output(output)
    {
        m_state.aviWriter = &m_output;
    }
    ~CloseOnExit()
    {
        m_state.aviWriter = nullptr;
        if (m_armed && m_output.isOpen()) {
            try {
                m_output.close();
            } catch (...) {
            }
        }
    }
    void close()
    {
        m_state.aviWriter = nullptr;
        m_armed = false;
        m_output.close();
    }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    TProcessingState& m_state;
    BatchOutput& m_output;
    bool m_armed = true;
};

// One file's run as the batch sees it: everything passes to the shell, except
// the failure messages, which wait until the file is over so that the user
// gets one message per file that also tells what became of its output.
// Takes time into the span first..last.
void Widen(std::optional<std::int64_t>& first, std::optional<std::int64_t>& last, std::int64_t time)
{
    first = first ? std::min(*first, time) : time;
    last = last ? std::max(*last, time) : time;
}

class FileRunHost final : public ForwardingRunHost {
public:
    using ForwardingRunHost::ForwardingRunHost;

    void showMessage(const std::string& text) override { m_messages.push_back(text); }
    void frameAnalysed(const FrameRecord& record) override
    {
        count(record);
        countInJoin(record);
        wrapped().frameAnalysed(record);
    }

    std::vector<std::string>& messages() { return m_messages; }
    FileOutcome& outcome() { return m_outcome; }
    // The run plays a join, whose source keeps parts up to date.
    void countJoin(std::shared_ptr<JoinedParts> parts) { m_parts = std::move(parts); }

private:
    // Which file of a join a frame came from, told to the shell as it
    // changes, and its written frames counted there.
    void countInJoin(const FrameRecord& record)
    {
        if (!m_parts || m_parts->empty())
            return;
        const auto after =
            std::upper_bound(m_parts->begin(), m_parts->end(), record.index,
                             [](std::int32_t index, const JoinedPart& part) { return index < part.firstIndex; });
        const std::size_t part = after == m_parts->begin() ? 0 : std::size_t(after - m_parts->begin()) - 1;
        if (part != m_part) {
            m_part = part;
            wrapped().joinedFileStarted((*m_parts)[part].input);
        }
        if (record.outcome == FrameRecord::Outcome::Written)
            ++(*m_parts)[part].written;
    }

    void count(const FrameRecord& record)
    {
        if (!m_outcome.firstTime)
            m_outcome.firstTime = record.sampleTime;
        m_outcome.lastTime = record.sampleTime;
        if (record.utcTicks) {
            Widen(m_outcome.firstUtc, m_outcome.lastUtc, *record.utcTicks);
            if (record.outcome == FrameRecord::Outcome::Written)
                Widen(m_outcome.firstWrittenUtc, m_outcome.lastWrittenUtc, *record.utcTicks);
        }
        switch (record.outcome) {
        case FrameRecord::Outcome::NoPlanet: ++m_outcome.noPlanet; break;
        case FrameRecord::Outcome::Incomplete: ++m_outcome.incomplete; break;
        case FrameRecord::Outcome::NotWritten: ++m_outcome.notWritten; break;
        case FrameRecord::Outcome::NotKept: m_outcome.notKept = m_outcome.notKept.value_or(0) + 1; break;
        case FrameRecord::Outcome::Cut: ++m_outcome.cut; break;
        case FrameRecord::Outcome::Small: ++m_outcome.small; break;
        case FrameRecord::Outcome::Saturated: ++m_outcome.saturated; break;
        case FrameRecord::Outcome::Dim: ++m_outcome.dim; break;
        case FrameRecord::Outcome::NoLimb: ++m_outcome.noLimb; break;
        case FrameRecord::Outcome::Written:
            if (record.mosaic != 0)
                m_outcome.writtenMosaic = record.mosaic;
            break;
        case FrameRecord::Outcome::Analysed: break;
        }
    }

    std::vector<std::string> m_messages;
    FileOutcome m_outcome;
    std::shared_ptr<JoinedParts> m_parts;
    std::size_t m_part = std::size_t(-1);
};

// A batch failure is shown and logged, so that the log of an unattended
// batch tells what happened to every file.
void Report(BatchHost& host, const std::string& text)
{
    host.appendLog(text, true);
    host.showMessage(text);
}

std::string Normalised(const std::string& path)
{
    return fs::absolute(path).lexically_normal().string();
}

// The files a stop left out, and where the outputs went.
void LogEndOfBatch(BatchHost& host, const BatchResult& summary)
{
    std::int32_t notRun = 0;
    std::set<std::string> folders;
    for (const FileOutcome& file : summary.files) {
        if (file.status == FileOutcome::Status::NotRun)
            ++notRun;
        if (file.outputPlaced)   // absolute: the user may have named the inputs relative to anywhere
            folders.insert(DirectoryOf(Normalised(file.output)));
    }
    if (summary.stopped)
        host.appendLog("Stopped by the user; " + std::to_string(notRun) + (notRun == 1 ? " file was" : " files were")
                           + " not processed",
                       true);
    if (folders.empty())
        host.appendLog("No output was written", true);
    for (const std::string& folder : folders)
        host.appendLog("Outputs written to " + folder, true);
}

// Gives the shell its controls back however the batch ends, with a status
// that says how: an output that cannot be opened ends it with an exception,
// and a window left disabled at "Processing..." could only be closed.
class BatchEndView {
public:
    explicit BatchEndView(BatchHost& host) : m_host(host) { m_host.setControlsEnabled(false); }
    ~BatchEndView()
    {
        try {
            m_host.setStatus(BatchHost::kActivity, m_status);
            m_host.setControlsEnabled(true);
        } catch (...) {
        }
    }
    // "Completed!" promises that every file was.
    void ended(const BatchResult& summary)
    {
        if (summary.stopped)
            m_status = "Stopped";
        else if (summary.failed == 0)
            m_status = "Completed!";
        else
            m_status = "Completed with " + std::to_string(summary.failed)
                + (summary.failed == 1 ? " failed file" : " failed files");
    }
    BatchEndView(const BatchEndView&) = delete;
    BatchEndView& operator=(const BatchEndView&) = delete;

private:
    BatchHost& m_host;
    std::string m_status = "Failed";
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines, const char* separator = "\n")
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : separator) + line;
    return text;
}

// Why a file played no frame: none was captured in the time range, the
// frame range lies past its end, or it holds none.
std::string NoFrameText(const std::string& name, const std::optional<TimeRange>& timeRange, const FrameRange& frames,
                        std::int32_t frameCount)
{
    if (timeRange)
        return "No frame of " + name + " was captured from " + TimeOfDayText(timeRange->first) + " to "
            + TimeOfDayText(timeRange->end) + " UTC";
    if (!frames.whole() && frames.first >= frameCount)
        return "frames " + std::to_string(frames.first)
            + (frames.last ? "\u2013" + std::to_string(*frames.last) : std::string(" onwards"))
            + " lie past the end of " + name + " (" + std::to_string(frameCount)
            + (frameCount == 1 ? " frame)" : " frames)");
    return kNoFrameMessage;
}

}   // namespace

namespace {

// The host of a run the shell does not see as a run of the file: a probe
// before an output opens, a view of one frame, an analysis. It reads the
// shell's options; of what the run reports, only what it is told to pass
// reaches the shell, and never the log lines and failure messages.
class SideRunHost final : public ForwardingRunHost {
public:
    struct Passes {
        bool pictures = false;   // the preview or warning, and the whole frame
        bool records = false;    // each frame's record, and the scores
        bool progress = false;   // the progress, and the shell's events
    };
    SideRunHost(RunHost& host, Passes passes) : ForwardingRunHost(host), m_passes(passes) {}
    // A run the shell can stop: its stop request (in the shell's state, set
    // while the shell handles its events) reaches the run's own state.
    SideRunHost(RunHost& host, Passes passes, const TProcessingState& shell, TProcessingState& run)
        : ForwardingRunHost(host), m_passes(passes), m_shell(&shell), m_run(&run)
    {}
    // Only a picture someone sees is worth marking.
    bool showEffect() const override { return m_passes.pictures && wrapped().showEffect(); }
    void showPreview(const OutputBitmap& picture) override
    {
        if (m_passes.pictures)
            wrapped().showPreview(picture);
    }
    void showWarning(const std::string& caption) override
    {
        if (m_passes.pictures)
            wrapped().showWarning(caption);
    }
    void showFrame(const FrameView& frame, const FrameOverlay& overlay) override
    {
        if (m_passes.pictures)
            wrapped().showFrame(frame, overlay);
    }
    void frameAnalysed(const FrameRecord& record) override
    {
        if (m_passes.records)
            wrapped().frameAnalysed(record);
    }
    // A run the user waits for is shown as it goes, as a batch is.
    bool wantsLiveFrame() override { return m_passes.progress && wrapped().wantsLiveFrame(); }
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override
    {
        if (m_passes.records)
            wrapped().qualityScores(scores, kept);
    }
    void setProgressMax(std::int32_t frames) override
    {
        if (m_passes.progress)
            wrapped().setProgressMax(frames);
    }
    void setProgress(std::int32_t frames) override
    {
        if (m_passes.progress)
            wrapped().setProgress(frames);
    }
    void processEvents() override
    {
        if (m_passes.progress)
            wrapped().processEvents();
        if (m_shell != nullptr && m_shell->stopRequested)
            m_run->stopRequested = true;
    }
    void appendLog(const std::string&, bool) override {}
    void showCutWarning(const std::string&) override {}
    void showMessage(const std::string&) override {}
    // A best frame is saved beside a batch's output, and which file of a
    // join plays is told of a batch's run only.
    void bestFrame(const OutputBitmap&) override {}
    void joinedFileStarted(const std::string&) override {}

private:
    Passes m_passes;
    const TProcessingState* m_shell = nullptr;
    TProcessingState* m_run = nullptr;
};

// Where an analysis's frames go: nowhere, each one taken as a batch's output
// would take it.
class DiscardingOutput final : public FrameOutput {
public:
    void addColorFrame(const OutputBitmap&, std::int32_t) override {}
    void addGrayFrame(const OutputBitmap&, const GrayPlane&, std::int32_t) override {}
};

// The state a view or an analysis runs on: the last test's, with the host's
// choices now.
TProcessingState ChoicesNow(const TProcessingState& state, BatchHost& host, ChoicesFor use)
{
    TProcessingState run = state;
    run.aviWriter = nullptr;
    run.cogValid = run.cropValid = true;
    run.stopRequested = false;
    ApplyChoices(run, host.choices(), use);
    return run;
}

}   // namespace

bool RunAnalyseAction(const TProcessingState& state, BatchHost& host, const SourceOpener& open)
{
    if (state.busy || state.currentFile.empty())
        return false;
    TProcessingState run = ChoicesNow(state, host, ChoicesFor::Analysis);
    run.frameLimit = 0;
    run.centring.scores = true;
    DiscardingOutput nowhere;
    run.aviWriter = &nowhere;
    SideRunHost runHost(host, {.records = true, .progress = true}, state, run);
    return ProcessFile(run, runHost, run.currentFile, open) == 0 && run.framesSeen > 0;
}

bool RunViewAction(const TProcessingState& state, BatchHost& host, std::int32_t index, const SourceOpener& open)
{
    if (state.busy || state.currentFile.empty() || index < 0)
        return false;
    TProcessingState view = ChoicesNow(state, host, ChoicesFor::View);
    view.frameLimit = 1;
    view.firstFrame = index;
    view.timeRange.reset();   // a view shows the frame of that number, whenever it was taken
    SideRunHost viewHost(host, {.pictures = true, .records = true});
    return ProcessFile(view, viewHost, view.currentFile, open) == 0 && view.framesSeen > 0;
}

namespace {

// Reads a file's first frame for its capture time and nothing else.
class FirstFrameTime final : public FrameSink {
public:
    explicit FirstFrameTime(std::optional<std::int64_t> streamStart) : m_streamStart(streamStart) {}
    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        m_time = CaptureTimeOf(m_streamStart, frame.native, frame.sampleTime);
        return 1;
    }
    std::int32_t BufferCB(double, std::uint8_t*, std::int32_t) override { return 1; }
    bool acceptsGrayFrames() const override { return true; }
    const std::optional<std::int64_t>& time() const { return m_time; }

private:
    std::optional<std::int64_t> m_streamStart;
    std::optional<std::int64_t> m_time;
};

}   // namespace

std::optional<std::string> TimeRangeRefusal(const std::vector<std::string>& files,
                                            std::optional<std::int64_t> startTime, const SourceOpener& open)
{
    for (const std::string& path : files) {
        FirstFrameTime first(startTime ? startTime : CaptureTimeInName(path));
        try {
            const auto source = open(path);
            if (!source->video())
                continue;
            source->play({.maxFrames = 1}, first);
        } catch (const FrameSourceError&) {
            continue;
        }
        if (!first.time())
            return "The frames of " + FileNameOf(path)
                + " carry no capture time, so a time range cannot choose among them";
    }
    return std::nullopt;
}

std::optional<std::string> CalibrationRefusal(const std::vector<std::string>& files, const RunChoices& choices,
                                              std::shared_ptr<const LoadedMasters>& masters, const SourceOpener& open)
{
    try {
        TakeMasters(masters, choices.calibration);
    } catch (const CalibrationError& e) {
        return e.what();
    }
    if (!masters)
        return std::nullopt;
    for (const std::string& path : files) {
        std::optional<VideoInfo> video;
        try {
            video = open(path)->video();
        } catch (const FrameSourceError&) {
            continue;   // the batch tells it in its turn
        }
        if (!video)
            continue;
        if (auto why = MasterMismatch(*masters, path, *video, FileMosaic(*video, choices.colour)))
            return why;
    }
    return std::nullopt;
}

std::optional<std::string> BatchRefusal(BatchHost& host, const SourceOpener& open,
                                        std::shared_ptr<const LoadedMasters>* masters)
{
    const auto files = host.files();
    const RunChoices choices = host.choices();
    if (choices.joinFiles && files.size() > 1)
        if (auto why = JoinRefusal(files, open))
            return why;
    if (choices.calibration.any()) {
        std::shared_ptr<const LoadedMasters> scratch;
        if (auto why = CalibrationRefusal(files, choices, masters != nullptr ? *masters : scratch, open))
            return why;
    }
    if (choices.timeRange)
        return TimeRangeRefusal(files, choices.startTime, open);
    return std::nullopt;
}

bool RunTestAction(TProcessingState& state, BatchHost& host, const SourceOpener& open)
{
    const auto files = host.files();
    if (files.empty())
        return false;

    state.cogValid = true;
    state.cropValid = true;
    state.limbMissing = false;
    state.colorDetected = false;
    state.stopRequested = false;
    host.clearLog();
    const RunChoices choices = host.choices();
    ApplyChoices(state, choices, ChoicesFor::Test);
    state.objectFillsFrame = false;
    if (const auto why = BatchRefusal(host, open, &state.masters)) {
        Report(host, *why);
        host.setProcessEnabled(false);
        return false;
    }

    // A join is tested as the batch will play it: from its first file on.
    const bool join = choices.joinFiles && files.size() > 1;
    const SourceOpener testOpen = join ? JoinedOpener(files, open) : open;
    // A file that cannot be opened must not hold back the files after it:
    // the test moves on to the next one, and the batch still tries it and
    // tells its failure. Only the last file's failure is the test's own.
    std::int32_t result = kRunRefused;
    for (std::size_t i = join ? 0 : std::min(host.testedFile(), files.size() - 1); i < files.size(); ++i) {
        state.currentFile = files[i];
        state.outputDir = DirectoryOf(state.currentFile);
        state.frameLimit = 2;
        if (state.timeRange)   // the range goes by the times the batch will give the frames
            state.startUtcTicks = StartTimeFor(choices, state.currentFile);
        FileRunHost run(host);
        std::optional<VideoInfo> described;
        result = ProcessFile(state, run, state.currentFile, testOpen, &described);
        const bool last = join || i + 1 == files.size();
        // A frame range a file does not reach holds back the files after it
        // no more than a file that cannot be opened: the batch tries each.
        if (result == 0 && state.framesSeen == 0 && !state.timeRange && !state.frames.whole() && !last) {
            host.appendLog(NoFrameText(FileNameOf(state.currentFile), std::nullopt, state.frames, state.frameCount)
                               + "; the test goes on with the next file",
                           true);
            continue;
        }
        if (described || last || result == kRunRefused) {
            for (const std::string& message : run.messages())
                host.showMessage(message);
            break;
        }
        host.appendLog(FileNameOf(state.currentFile) + " could not be opened (" + Joined(run.messages(), "; ")
                           + "); the test goes on with the next file",
                       true);
    }
    if (result == 0) {
        // The output size the size controls or the planet give, and, the
        // first time after opening, the colour or greyscale choice the frames
        // suggest.
        ApplyCropSize(state, choices);
        host.showCropSize(state.cropWidth, state.cropHeight);
        const auto cut =
            state.fullFrame ? std::nullopt : CutWarning(state.firstFrames, state.cropWidth, state.cropHeight);
        host.showSizeWarning(cut.value_or(""));
        if (state.autoColorPending && choices.autoColor) {
            state.autoColorPending = false;
            host.selectOutputMode(state.colorDetected);
        }
    }
    // A file that played without a single frame has shown no planet: passing
    // it would let a batch write empty outputs and call them complete.
    if (result == 0 && state.framesSeen == 0)
        host.showMessage(NoFrameText(FileNameOf(state.currentFile), state.timeRange, state.frames, state.frameCount));
    const bool passed = result == 0 && state.framesSeen > 0 && state.cogValid && state.cropValid;
    if (passed)
        host.showTestPassed(state.cropWidth, state.cropHeight);
    if (passed && state.objectFillsFrame) {
        host.appendLog(kFillsFrameWarning, true);
        host.showMessage(kFillsFrameWarning);
    }
    host.setProcessEnabled(passed);
    return passed;
}

std::optional<std::string> OutputRefusal(const std::string& input, const std::string& outputPath,
                                         const std::vector<std::string>& files, OutputClaims& claims, bool folder)
{
    if (const auto conflict = InputConflict(outputPath, files))
        return "Skipped " + FileNameOf(input) + ": its output " + FileNameOf(outputPath) + " " + *conflict;
    if (folder)
        if (const auto foreign = ForeignEntryIn(outputPath))
            return "Skipped " + FileNameOf(input) + ": its output folder " + FileNameOf(outputPath)
                + (*foreign == outputPath ? " is the name of something that is not a folder of frames"
                                          : " holds " + FileNameOf(*foreign) + ", which is not one of its frames")
                + "; move it away or choose another output folder";
    if (const auto why = claims.claim(input, outputPath, folder))   // same-named captures of different nights
        return "Skipped " + input + ": its output " + outputPath + " " + *why;
    return std::nullopt;
}

std::string DroppedFrames(const FileOutcome& file)
{
    const std::pair<std::int32_t, const char*> counts[] = {
        {file.noPlanet, "without a planet"},
        {file.noLimb, "without a limb"},
        {file.incomplete, "cut by the frame border"},
        {file.notWritten, "refused by the output"},
        {file.cut, "rejected as cut"},
        {file.small, "rejected as small"},
        {file.saturated, "rejected as saturated"},
        {file.dim, "rejected as dim"},
        {file.notKept.value_or(0), "not kept"},
    };
    std::string text;
    for (const auto& [count, why] : counts)
        if (count > 0)
            text += (text.empty() ? "" : ", ") + std::to_string(count) + " " + why;
    return text;
}

std::vector<std::string> FileMessages(std::vector<std::string> messages, const FileRunFacts& run,
                                      const std::string& name, const std::string& outputPath)
{
    if (run.result == 0 && run.framesSeen == 0)
        messages.push_back(NoFrameText(name, run.timeRange, run.frames, run.frameCount));
    // Frames played but none kept: an empty output is no success. A ranked
    // run stopped while it measured wrote nothing because of the stop.
    const bool nothingWritten = run.result == 0 && run.framesSeen > 0 && run.framesWritten == 0;
    const bool stoppedMeasuring = run.stopped && run.ranked;
    if (nothingWritten && !run.outputFailed && !stoppedMeasuring)
        messages.push_back("No frame of " + name + " was written: "
                           + (run.dropped.empty() ? std::string(kNothingWrittenReason) : run.dropped));
    else if (!run.placed && !run.placementFailed)
        messages.push_back("Nothing was written for " + name + ".");
    if (!run.placed && !run.placementFailed && run.olderOutputExists)
        messages.back() += " The older " + FileNameOf(outputPath) + " is left as it was.";
    return messages;
}

FileOutcome::Status FileStatus(const FileRunFacts& run)
{
    if (run.result == 0 && run.stopped)
        return FileOutcome::Status::Stopped;
    if (run.result == 0 && !run.outputFailed && run.placed && run.framesSeen > 0)
        return FileOutcome::Status::Done;
    return FileOutcome::Status::Failed;
}

namespace {

// Shows which file of how many the batch is at, and readies the state for it
// with the shell's choices now, which it returns.
RunChoices StartFile(TProcessingState& state, BatchHost& host, std::size_t index, std::size_t count)
{
    host.setStatus(BatchHost::kFilePosition, "File " + std::to_string(index + 1) + "/" + std::to_string(count));
    host.setStatus(BatchHost::kFileName, FileNameOf(state.currentFile));
    host.setStatus(BatchHost::kActivity, "Processing...");
    host.resetProgress();
    state.framesWritten = 0;
    state.outputFailed = false;
    RunChoices choices = host.choices();
    ApplyChoices(state, choices, ChoicesFor::File);
    return choices;
}

// A file's first frames (two, or as many as tell the object's size),
// played as a test on a copy of the state, so that its output can be fitted
// to it before it opens. Nothing is shown; the shell's events are still
// handled.
struct FileProbe {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool colour = false;
    std::int32_t mosaic = 0;
    FirstFrames first;
    std::optional<FileLevels> levels;
};

// Whether a file's output or centring depends on the object in its first
// frames, its colours' dispersion among them.
bool FitsToObject(const TProcessingState& state)
{
    return state.sizeFromObject || state.centring.limb || state.colour.alignRgb != AlignRgb::Off
        || (state.colour.levels && state.colour.levels->automatic);
}

std::optional<FileProbe> ProbeFile(const TProcessingState& state, RunHost& host, const SourceOpener& open)
{
    TProcessingState probe = state;
    probe.aviWriter = nullptr;
    probe.frameLimit = FitsToObject(state) ? kFirstFrames : 2;
    probe.cogValid = probe.cropValid = true;
    probe.colorDetected = false;
    probe.objectFillsFrame = false;
    SideRunHost quiet(host, {});
    if (ProcessFile(probe, quiet, probe.currentFile, open) != 0 || probe.framesSeen == 0)
        return std::nullopt;   // the processing run tells why
    return FileProbe{probe.inputWidth, probe.inputHeight, probe.colorDetected,
                     probe.mosaic,     probe.firstFrames, probe.levels};
}

// The disc's radius the file is fitted with, and its output size when the
// planet gives it; said in the log.
void FitToObject(TProcessingState& state, BatchHost& host, const FirstFrames& first)
{
    if (state.centring.limb) {
        state.limbRadius = first.heldLimbRadius();
        if (state.limbRadius)
            host.appendLog(LimbRadiusLine(*state.limbRadius), true);
    }
    if (state.sizeFromObject && !state.fullFrame && first.any()) {
        std::tie(state.cropWidth, state.cropHeight) = SizeFromObject(first.width, first.height);
        host.appendLog(SizeFromObjectLine(state.cropWidth, state.cropHeight), true);
    }
}

// The dispersion a file's colour output is measured and aligned with, or
// why it has none.
void FitColours(TProcessingState& state, BatchHost& host, const FileProbe& probe)
{
    if (state.colour.alignRgb == AlignRgb::Off)
        return;
    const std::string name = FileNameOf(state.currentFile);
    if (!probe.colour && !(state.colour.debayer && BayerPatternOf(probe.mosaic))) {
        host.appendLog("Align R, B: " + name + " has no colours; nothing to align", true);
        return;
    }
    if (state.outputGrayscale) {
        host.appendLog("Align R, B: the output of " + name + " is greyscale; nothing to align", true);
        return;
    }
    state.dispersion = MedianDispersion(probe.first.dispersions);
    host.appendLog(state.dispersion ? DispersionLine(*state.dispersion)
                                    : "Dispersion: the first frames of " + name + " showed no detail to measure it on",
                   true);
}

// What the batch fixes for a file from its own frames before its output
// opens: its size for a whole-frame output, its colour mode when the test's
// choice was automatic (the first file keeps the test's, as it always did),
// colour for a mosaic that is debayered, and the dispersion of its colours.
void FitOutputToFile(TProcessingState& state, BatchHost& host, const SourceOpener& open, bool chooseColour)
{
    if (!chooseColour && !state.fullFrame && !state.colour.debayer && !FitsToObject(state))
        return;
    const std::optional<FileProbe> probe = ProbeFile(state, host, open);
    if (!probe)
        return;
    if (state.fullFrame)
        TakeWholeFrame(state, probe->width, probe->height);
    FitToObject(state, host, probe->first);
    // Auto levels from the first frames, fixed for the whole file.
    state.levels = probe->levels;
    if (chooseColour) {
        state.outputGrayscale = !probe->colour;
        host.appendLog("Output mode from the first frames of " + FileNameOf(state.currentFile) + ": "
                           + (probe->colour ? "colour" : "greyscale"),
                       true);
    }
    if (state.colour.debayer && BayerPatternOf(probe->mosaic))
        state.outputGrayscale = false;
    FitColours(state, host, *probe);
}

// Runs the state's current file into a staged output at outputPath (or its
// pieces, when pieces cuts it by time) and closes it; the file's held-back
// messages and its outcome so far come back in run.
FileRunFacts RunIntoStagedOutput(TProcessingState& state, BatchHost& host, BatchOutput& output,
                                 const std::string& outputPath, const SourceOpener& open, FileRunHost& run,
                                 SegmentedOutput* pieces, OutputClaims& claims)
{
    StagedOutput staged(output, &claims, state.currentFile);
    BatchOutput& target = pieces != nullptr ? static_cast<BatchOutput&>(*pieces) : staged;
    if (pieces != nullptr)
        pieces->setInput(state.currentFile);
    // A quarter turn swaps the output's sides.
    const bool swap = state.orientation.swapsSides();
    target.open(outputPath, swap ? state.cropHeight : state.cropWidth, swap ? state.cropWidth : state.cropHeight,
                state.outputGrayscale);
    CloseOnExit closer(state, target);
    state.frameLimit = 0;
    FileRunFacts facts;
    // A failed run's frames never take the place of an older output.
    const auto failed = [&] {
        if (pieces != nullptr)
            pieces->runFailed();
        else
            staged.runFailed();
    };
    try {
        state.timeFrom.clear();
        state.captureNotes = {};
        facts.result = ProcessFile(state, run, state.currentFile, open, &run.outcome().video);
        run.outcome().timeFrom = state.timeFrom;
        run.outcome().notes = state.captureNotes;
    } catch (...) {
        // An interruption ends the batch; what went wrong before it is still told.
        failed();
        if (!run.messages().empty())
            Report(host, Joined(run.messages()));
        throw;
    }
    if (facts.result != 0 || state.outputFailed)
        failed();
    // A stopped file did not reach its end: the gauge shows how far it got.
    if (!state.stopRequested)
        host.fillProgress();
    try {
        closer.close();
    } catch (const OutputPlacementError& e) {
        run.messages().push_back(e.what());
        facts.placementFailed = true;
    }
    if (const std::string note = target.closingNote(); !note.empty())
        for (const std::string& line : Lines(note))
            host.appendLog(line, true);
    // A whole rerun into fewer pieces leaves none of the older run's beside them.
    if (pieces != nullptr && facts.result == 0 && !state.outputFailed && !state.stopRequested && !facts.placementFailed)
        for (const std::string& name : pieces->removeOlderPieces())
            host.appendLog("Removed the older piece " + name + ", which this run does not make", true);
    facts.framesSeen = state.framesSeen;
    facts.framesWritten = state.framesWritten;
    facts.outputFailed = state.outputFailed;
    facts.stopped = state.stopRequested;
    facts.ranked = state.centring.rankFrames();
    facts.timeRange = state.timeRange;
    facts.frames = state.frames;
    facts.frameCount = state.frameCount;
    const std::vector<std::string> placed = pieces != nullptr ? pieces->placedPaths()
        : staged.placed()                                     ? std::vector<std::string>{staged.placedPath()}
                                                              : std::vector<std::string>{};
    facts.placed = !placed.empty();
    if (facts.placed) {
        run.outcome().output = placed.front();
        if (pieces != nullptr)
            run.outcome().pieces = placed;
    }
    // Each output where it can be found, also when its name came from
    // its frames (a SER named after their mid-time).
    for (const std::string& path : placed)
        host.appendLog("Output: " + Normalised(path), true);
    std::error_code ec;
    facts.olderOutputExists = !facts.placed && pieces == nullptr && fs::exists(outputPath, ec);
    return facts;
}

// The log's account of a join: each file's frames, then the total.
void LogJoin(BatchHost& host, const JoinedParts& parts)
{
    std::int32_t read = 0;
    std::int32_t written = 0;
    for (const JoinedPart& part : parts) {
        host.appendLog(" - " + FileNameOf(part.input) + ": " + std::to_string(part.frames) + " frames read, "
                           + std::to_string(part.written) + " written",
                       true);
        read += part.frames;
        written += part.written;
    }
    host.appendLog("Joined " + std::to_string(parts.size()) + " files: " + std::to_string(read) + " frames read, "
                       + std::to_string(written) + " written",
                   true);
}

}   // namespace

PreparedFile PrepareBatchFile(TProcessingState& state, BatchHost& host, const BatchOutput& output,
                              const std::vector<std::string>& files, std::size_t index, std::size_t count,
                              const SourceOpener& open, OutputClaims& claims)
{
    state.currentFile = files[index];
    const RunChoices choices = StartFile(state, host, index, count);
    TurnForMeridian(state, open);
    FitOutputToFile(state, host, open, index != 0 && choices.autoColor);
    const std::string outputDir = choices.outputBesideInput ? DirectoryOf(state.currentFile) : state.outputDir;
    PreparedFile prepared{output.outputPathFor(state.currentFile, outputDir, state.outputGrayscale), std::nullopt};
    if (const auto refusal =
            OutputRefusal(state.currentFile, prepared.outputPath, files, claims, output.writesFolder())) {
        Report(host, *refusal);
        FileOutcome& skipped = prepared.skipped.emplace();
        skipped.input = files[index];
        skipped.status = FileOutcome::Status::Failed;
        skipped.reason = *refusal;
    }
    return prepared;
}

FileOutcome RunBatchFile(TProcessingState& state, BatchHost& host, BatchOutput& output, const std::string& outputPath,
                         const SourceOpener& open, const std::shared_ptr<JoinedParts>& parts, SegmentedOutput* pieces,
                         OutputClaims& claims)
{
    FileRunHost run(host);
    run.outcome().output = outputPath;
    if (parts)
        run.countJoin(parts);
    FileRunFacts facts = RunIntoStagedOutput(state, host, output, outputPath, open, run, pieces, claims);
    facts.dropped = DroppedFrames(run.outcome());
    if (parts) {
        LogJoin(host, *parts);
        if (output.timesEveryFrameOrNone())
            if (const auto note = UnstampedPartsNote(*parts, pieces != nullptr))
                host.appendLog(*note, true);
    }
    const std::vector<std::string> messages =
        FileMessages(std::move(run.messages()), facts, FileNameOf(state.currentFile), outputPath);
    if (!messages.empty())
        Report(host, Joined(messages));

    FileOutcome& done = run.outcome();
    done.input = state.currentFile;
    done.outputPlaced = facts.placed;
    done.reason = Joined(messages);
    done.frameCount = done.video ? state.frameCount : 0;
    done.framesSeen = state.framesSeen;
    done.framesWritten = state.framesWritten;
    done.endedEarly = facts.result == 0 && EndedEarly(state);
    if (state.centring.keepBest.active() && !done.notKept)
        done.notKept = 0;
    done.status = FileStatus(facts);
    done.grayscale = state.outputGrayscale;
    done.cropWidth = state.cropWidth;
    done.cropHeight = state.cropHeight;
    done.limbRadius = state.limbRadius;
    done.dispersion = state.dispersion;
    done.levels = state.levels;
    done.mosaic = state.mosaic;
    done.orientation = OrientationSummary(state.colour, state.meridianTurn);
    done.debayered = state.colour.debayer && BayerPatternOf(state.mosaic) && !state.outputGrayscale;
    if (parts)
        done.joined = *parts;
    return done;
}

void TallyBatchFile(BatchResult& summary, BatchHost& host, FileOutcome outcome)
{
    summary.completed += outcome.status == FileOutcome::Status::Done ? 1 : 0;
    summary.failed += outcome.status == FileOutcome::Status::Failed ? 1 : 0;
    summary.stopped = summary.stopped || outcome.status == FileOutcome::Status::NotRun;
    summary.files.push_back(std::move(outcome));
    host.fileFinished(summary.files.back());
}

namespace {

// An error that ends the batch (an output that cannot be made) passes on to
// the shell; every file is still told what became of it, so that a summary
// and a report cover the whole batch: the one it ended in failed, and those
// after it were not processed.
void EndFailedBatch(BatchHost& host, BatchResult& summary, const std::string& error)
{
    const auto files = host.files();
    const std::size_t count = host.choices().joinFiles && files.size() > 1 ? 1 : files.size();
    const std::size_t failed = summary.files.size();
    for (std::size_t i = failed; i < count; ++i) {
        FileOutcome outcome;
        outcome.input = files[i];
        if (i == failed) {
            outcome.status = FileOutcome::Status::Failed;
            outcome.reason = error;
            ++summary.failed;
        }
        summary.files.push_back(std::move(outcome));
        host.fileFinished(summary.files.back());
    }
    if (count > failed + 1) {
        const std::size_t left = count - failed - 1;
        host.appendLog("The batch ended with " + FileNameOf(files[failed]) + "; " + std::to_string(left)
                           + (left == 1 ? " file was" : " files were") + " not processed",
                       true);
    }
}

// What every batch does around its files (runFiles): the checks before
// them, and the end of the log and the activity after them.
template <typename RunFiles>
BatchResult RunBatch(TProcessingState& state, BatchHost& host, const SourceOpener& open, RunFiles&& runFiles)
{
    BatchResult summary;
    host.clearLog();
    if (!(state.cogValid && state.cropValid))
        return summary;
    summary.started = true;
    state.stopRequested = false;
    BatchEndView view(host);

    // The files may have changed since the test: a join or a time range
    // that cannot be made now writes nothing at all.
    if (const auto why = BatchRefusal(host, open, &state.masters)) {
        Report(host, *why);
        for (const std::string& file : host.files()) {
            FileOutcome& refused = summary.files.emplace_back();
            refused.input = file;
            refused.status = FileOutcome::Status::Failed;
            refused.reason = *why;
        }
        summary.failed = std::int32_t(summary.files.size());
        LogEndOfBatch(host, summary);
        view.ended(summary);
        return summary;
    }
    try {
        runFiles(summary);
    } catch (const std::exception& e) {
        EndFailedBatch(host, summary, e.what());
        throw;
    } catch (...) {
        EndFailedBatch(host, summary, "an unknown error");
        throw;
    }
    LogEndOfBatch(host, summary);
    view.ended(summary);
    return summary;
}

// The files one after the other, on one state and into one output.
void RunFilesInTurn(TProcessingState& state, BatchHost& host, BatchOutput& output, const SourceOpener& open,
                    BatchResult& summary)
{
    // A join plays as one file, the first, from a source that reads them all.
    const RunChoices choices = host.choices();
    const bool join = choices.joinFiles && host.files().size() > 1;
    const auto parts = join ? std::make_shared<JoinedParts>() : nullptr;
    const SourceOpener fileOpen = join ? JoinedOpener(host.files(), open, parts) : open;
    OutputClaims claims(host.files());
    std::optional<SegmentedOutput> pieces;
    if (const auto seconds = choices.segmentSeconds)
        pieces.emplace(output, double(*seconds), claims);

    const std::size_t count = join ? 1 : host.files().size();
    for (std::size_t i = 0; i < count; ++i) {
        // The list may change while a file runs (the open control stays
        // usable), so each step reads it afresh.
        const auto files = host.files();
        if (i >= files.size())
            break;
        if (state.stopRequested) {
            FileOutcome notRun;
            notRun.input = files[i];
            TallyBatchFile(summary, host, std::move(notRun));
            continue;
        }
        PreparedFile prepared = PrepareBatchFile(state, host, output, files, i, count, fileOpen, claims);
        if (prepared.skipped) {
            TallyBatchFile(summary, host, std::move(*prepared.skipped));
            continue;
        }
        FileOutcome done = RunBatchFile(state, host, output, prepared.outputPath, fileOpen, parts,
                                        pieces ? &*pieces : nullptr, claims);
        summary.stopped = summary.stopped || state.stopRequested;
        TallyBatchFile(summary, host, std::move(done));
    }
}

}   // namespace

BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, BatchOutput& output, const SourceOpener& open)
{
    return RunBatch(state, host, open,
                    [&](BatchResult& summary) { RunFilesInTurn(state, host, output, open, summary); });
}

BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, const OutputMaker& makeOutput, std::int32_t jobs,
                             const SourceOpener& open)
{
    // A join is one output, written in frame order: there is nothing to share out.
    if (jobs <= 1 || (host.choices().joinFiles && host.files().size() > 1)) {
        const std::unique_ptr<BatchOutput> output = makeOutput();
        return RunProcessAction(state, host, *output, open);
    }
    return RunBatch(state, host, open, [&](BatchResult& summary) {
        RunFilesAtOnce(state, host, makeOutput, std::size_t(jobs), open, summary);
    });
}
