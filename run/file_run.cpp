// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/file_run.h"

#include "analysis/debayer_crop.h"
#include "analysis/frame_handler.h"
#include "analysis/rounding.h"
#include "output/paths.h"
#include "run/bayer_detection.h"
#include "run/calibrating_sink.h"
#include "run/levels_sink.h"
#include "run/calibration_setup.h"
#include "run/capture_times.h"
#include "run/defect_vote.h"
#include "run/joined_source.h"
#include "run/meridian_flip.h"
#include "run/source_rate.h"
#include "surface/dispersion_meter.h"
#include "surface/phase_aligner.h"
#include "time/capture_time.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

namespace {

class BusyGuard {
public:
    explicit BusyGuard(TProcessingState& state) : m_state(state) { m_state.busy = true; }
    ~BusyGuard() { m_state.busy = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    TProcessingState& m_state;
};

// A real number from a file's header made into a count or a position: rounded
// half to even, and kept within the type so that absurd rates and lengths
// give absurd numbers rather than undefined behaviour.
template <typename Int>
Int RoundedWithin(double value)
{
    if (!std::isfinite(value) || value <= 0.0)
        return 0;
    if (value >= double(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return Int(RoundHalfEven(value));
}

std::string Dec(std::int64_t value)
{
    return std::to_string(value);
}

// The words the user sees for a failed step of a file run.
std::string MessageFor(const FrameSourceError& e, const std::string& path)
{
    switch (e.failure()) {
    case SourceFailure::Load:
        // A mistyped name or a file moved away is not a damaged file: the
        // user should look for it, not try to repair it.
        if (std::error_code ec; std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found)
            return "The file does not exist!";
        // Why every file but SER and plain AVIs fails, when the FFmpeg module is missing.
        return e.reason().empty() ? "Couldn't load the file!" : "Couldn't load the file! (" + e.reason() + ")";
    case SourceFailure::Streams: return "Couldn't get the output streams!";
    case SourceFailure::SelectStream: return "Couldn't put stream " + Dec(e.stream());
    case SourceFailure::StreamType: return "Couldn't get stream media type for stream " + Dec(e.stream());
    case SourceFailure::Duration: return "Failed in GetDuration!";
    case SourceFailure::Prepare: return "Failed in EnterBitmapGrabMode!";
    case SourceFailure::Start: return "Failed to run the graph!";
    // A frame of a capture saved as still images that differs from the
    // others, or cannot be read, is named.
    case SourceFailure::Decode:
        return e.reason().empty() ? "Failed in WaitForCompletion!"
                                  : "Failed in WaitForCompletion! (" + e.reason() + ")";
    }
    return "Couldn't load the file!";
}

// A percentage as the user gave it: 50 %, 12.5 %.
std::string Percent(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g %%", value);
    return text;
}

// What the measuring pass chose, for the log.
std::string RankingLine(const FrameRanking::Choice& choice)
{
    char range[64];
    std::snprintf(range, sizeof range, "%.3f to %.3f", choice.lowest, choice.highest);
    return " - Kept " + Dec(choice.kept) + " of " + Dec(choice.candidates) + " frames, quality " + range;
}

// An output larger than its input is allowed (its border is black), but
// never without a word.
void LogOutputBeyondInput(const TProcessingState& state, RunHost& host)
{
    if (state.cropWidth <= state.inputWidth && state.cropHeight <= state.inputHeight)
        return;
    host.appendLog("The output, " + Dec(state.cropWidth) + " \u00d7 " + Dec(state.cropHeight)
                       + ", is larger than the input, " + Dec(state.inputWidth) + " \u00d7 " + Dec(state.inputHeight)
                       + ": its border will be black",
                   true);
}

CaptureNotes NotesOf(const orbicrop::capture::CaptureFacts& facts)
{
    CaptureNotes notes;
    notes.camera = facts.camera.value_or(std::string());
    notes.filter = facts.filter.value_or(std::string());
    notes.target = facts.target.value_or(std::string());
    notes.exposureSeconds = facts.exposureSeconds;
    notes.gain = facts.gain;
    return notes;
}

// Where the file's capture time comes from, said once, with any source
// that disagrees; the frames' own stamps are looked at in the first frame.
void LogCaptureTime(TProcessingState& state, RunHost& host, FrameSource& source, const VideoInfo& video)
{
    CaptureTimes times =
        CaptureTimesOf(state.currentFile, {state.nameTimePattern, state.utcOffsetSeconds}, state.startTimeOption);
    if (video.samples)
        times.stamps = CaptureTimeOfFrame(source, state.frames.first);
    state.timeFrom = std::string(NameOf(times.from()));
    if (const std::optional<std::int64_t> trusted = times.trusted())
        host.appendLog(" - Capture time from the " + state.timeFrom + ": " + IsoUtc(*trusted), true);
    for (const std::string& line : times.disagreements())
        host.appendLog(line, true);
    state.captureNotes = times.sidecar ? NotesOf(*times.sidecar) : CaptureNotes{};
    if (state.aviWriter != nullptr)
        state.aviWriter->noteCapture(state.captureNotes);
}

// A file's calibrator and the sink that calibrates its frames before the
// handler sees them; the sink holds the calibrator by reference, so both
// stay in place.
struct CalibratedPlay {
    CalibratedPlay(orbicrop::calibration::Calibrator prepared, FrameSink& handler, std::int32_t mosaic)
        : calibrator(std::move(prepared)), sink(handler, calibrator, mosaic)
    {}
    CalibratedPlay(const CalibratedPlay&) = delete;
    CalibratedPlay& operator=(const CalibratedPlay&) = delete;

    orbicrop::calibration::Calibrator calibrator;
    CalibratingSink sink;
};

// The masters (loaded once for the batch) checked against the file, and its
// defects found where the user chose; a processing run says in the log what
// the file is calibrated with.
orbicrop::calibration::Calibrator PrepareCalibration(TProcessingState& state, RunHost& host, const std::string& path,
                                                     const VideoInfo& video, FrameSource& source,
                                                     const PlayLimits& limits)
{
    TakeMasters(state.masters, state.calibration);
    if (const std::optional<std::string> mismatch = MasterMismatch(*state.masters, path, video, state.mosaic))
        throw CalibrationError(*mismatch);
    // A normalised master is scaled by the range the file declares, not by
    // the bits its samples happen to use.
    const std::int32_t depth = DeclaredDepthOf(path).value_or(video.samples ? video.samples->depth : 8);
    orbicrop::calibration::DefectMap defects = state.calibration.hotPixels == HotPixels::Auto
        ? VoteDefects(source, video, state.mosaic, limits.firstFrame)
        : state.masters->darkDefects;
    orbicrop::calibration::Calibrator calibrator =
        CalibratorFor(*state.masters, depth, state.mosaic, std::move(defects));
    if (!state.testMode)
        for (const std::string& line :
             CalibrationLines(*state.masters, calibrator.defects(), state.calibration.hotPixels))
            host.appendLog(line, true);
    return calibrator;
}
}   // namespace

std::int32_t FramesToPlay(const TProcessingState& state)
{
    const std::int32_t first = std::clamp(state.frames.first, 0, state.frameCount);
    const std::int32_t end =
        state.frames.last ? std::clamp(*state.frames.last + 1, first, state.frameCount) : state.frameCount;
    return end - first;
}

bool EndedEarly(const TProcessingState& state)
{
    return !state.testMode && !state.stopRequested && state.framesSeen + state.framesOutsideRange < FramesToPlay(state);
}

namespace {

// A range is told once per file, with what the file holds of it.
void LogFrameRange(const TProcessingState& state, RunHost& host)
{
    if (state.frames.whole())
        return;
    const std::int32_t count = FramesToPlay(state);
    const std::string last = state.frames.last ? Dec(*state.frames.last) : "the end";
    host.appendLog(" - Frames " + Dec(state.frames.first) + " to " + last + ": " + Dec(count)
                       + (count == 1 ? " frame" : " frames") + " of the file's " + Dec(state.frameCount),
                   true);
}

}   // namespace

void TakeVideo(TProcessingState& state, RunHost& host, const VideoInfo& info)
{
    // A header that names more frames than the stream's length holds was
    // written for a file that has since been cut short: the run is held to
    // the header's count, so that it is seen to end early.
    state.frameCount = RoundedWithin<std::int32_t>(info.frameRate * info.length);
    if (info.declaredFrames)
        state.frameCount = std::max(state.frameCount, RoundedWithin<std::int32_t>(double(*info.declaredFrames)));
    host.appendLog(" - " + Dec(state.frameCount) + " frames", true);
    state.inputWidth = info.width;
    state.inputHeight = info.height;
    host.appendLog(" - Input res " + Dec(state.inputWidth) + " x " + Dec(state.inputHeight), true);
    if (!info.notice.empty())
        host.appendLog(" - " + info.notice, true);
}

DescribedSource OpenDescribed(const std::string& path, const SourceOpener& open)
{
    DescribedSource described;
    try {
        described.source = open(path);
        described.video = described.source->video();
    } catch (const FrameSourceError&) {
        described.source.reset();
        described.video.reset();
    }
    return described;
}

std::int32_t FileMosaic(const VideoInfo& info, const ColourOptions& colour)
{
    const std::int32_t named = info.samples ? info.samples->colour : kSamplesMono;
    if (IsMosaic(named))
        return named;
    if (named != kSamplesMono || !colour.declaredBayer)
        return 0;
    return LayoutOf(*colour.declaredBayer);
}

void TakeMosaic(TProcessingState& state, RunHost& host, const VideoInfo& info, FrameSource& source,
                std::int32_t firstFrame)
{
    state.mosaic = FileMosaic(info, state.colour);
    // A header that names a layout, a mosaic or RGB, is taken at its word;
    // one that says mono may be a colour camera's raw frames saved as mono.
    const bool namesNone = !info.samples || info.samples->colour == kSamplesMono;
    if (state.mosaic == 0 && namesNone && state.colour.detectBayer && !state.colour.declaredBayer) {
        if (const std::optional<BayerEvidence> evidence = DetectBayer(source, info, firstFrame)) {
            host.appendLog(" - " + BayerDetectionLine(*evidence), true);
            if (evidence->pattern)
                state.mosaic = LayoutOf(*evidence->pattern);
        }
    }
    if (state.mosaic == 0)
        return;
    const std::optional<BayerPattern> bayer = BayerPatternOf(state.mosaic);
    if (!bayer) {
        // Complementary-colour mosaics of old cameras: kept in phase, never debayered.
        host.appendLog(" - Colour mosaic " + std::string(MosaicName(state.mosaic)) + ": crop kept on even offsets",
                       true);
        return;
    }
    const std::string name = "Bayer " + std::string(MosaicName(state.mosaic));
    if (!state.colour.debayer) {
        host.appendLog(" - " + name + ": crop kept on even offsets", true);
        return;
    }
    host.appendLog(" - " + name + ": debayered (" + std::string(NameOf(state.colour.method)) + ")", true);
    if (state.testMode)
        state.colorDetected = true;
}

PlayLimits PlayLimitsFor(TProcessingState& state, double frameRate)
{
    PlayLimits limits;
    limits.decoderThreads = state.decoderThreads;
    state.testMode = state.frameLimit >= 1;
    if (!state.testMode) {
        // A range: its frames and no more, numbered as in the file.
        state.firstFrame = state.frames.first;
        limits.firstFrame = state.frames.first;
        if (state.frames.last)
            limits.maxFrames = std::max(*state.frames.last - state.frames.first + 1, 1);
        return limits;
    }
    limits.firstFrame = state.firstFrame;
    // Which frames a time range keeps is known only as they play: the
    // handler counts the test's frames and ends it.
    if (state.timeRange)
        return limits;
    // A length that reads as 0 (an elementary stream) is unknown, not
    // empty: the test still stops after its own frames.
    if (state.firstFrame + state.frameLimit < state.frameCount)
        limits.stopTime = (state.firstFrame + state.frameLimit) / frameRate;
    else if (state.frameCount > state.firstFrame)
        state.frameLimit = state.frameCount - state.firstFrame;
    // A stop time can lie just past the next frame's time; the count keeps a
    // test to exactly its frames.
    limits.maxFrames = state.frameLimit;
    return limits;
}

void PlayPasses(FrameSource& source, CFakeCallback& callback, FrameSink& sink, TProcessingState& state, RunHost& host,
                PlayLimits limits)
{
    FrameRanking ranking;
    const bool ranked = !state.testMode && state.centring.rankFrames();
    if (ranked) {
        // Measure every frame first and write on a second play, so that no
        // picture is held between the two: memory stays flat for any length.
        callback.setPass(CFakeCallback::Pass::Measure, &ranking);
        source.play(limits, sink);
        // A stop during the measuring pass ends the file there: the writing
        // pass would otherwise write its first frame before it saw the stop.
        if (state.stopRequested)
            return;
        const FrameRanking::Choice choice = ranking.choose(state.centring.keepBest, state.centring.reject.dimPercent);
        if (state.centring.reject.dimPercent)
            host.appendLog(" - " + Dec(choice.dim) + (choice.dim == 1 ? " frame" : " frames") + " dimmer than "
                               + Percent(*state.centring.reject.dimPercent) + " of the median dropped",
                           true);
        host.appendLog(RankingLine(choice), true);
        if (state.centring.scores)
            host.qualityScores(ranking.sortedScores(), choice.kept);
        state.framesSeen = 0;
        state.framesOutsideRange = 0;
        callback.setPass(CFakeCallback::Pass::Write, &ranking);
    }
    source.play(limits, sink);
    if (state.testMode && state.framesSeen > 0 && state.framesSeen < state.frameLimit && !state.stopRequested) {
        // The file ended before the test's last frame (its length was unknown
        // or overstated): the frames it has are played again, so that the
        // last of them shows the preview or the warning.
        state.frameLimit = state.framesSeen;
        state.framesSeen = 0;
        state.framesOutsideRange = 0;
        if (!state.timeRange)
            limits.maxFrames = state.frameLimit;
        callback.setPass(CFakeCallback::Pass::Single, nullptr);
        source.play(limits, sink);
    }
}

std::vector<std::string> RunSummaryLines(const TProcessingState& state, double length, std::int64_t elapsedMs)
{
    // A run faster than a millisecond counts as one, not as a division by zero.
    const double e = elapsedMs > 0 ? double(elapsedMs) : 1.0;
    const std::int64_t fps = RoundedWithin<std::int64_t>(length * 1000.0 / e * 1000.0 / 25.0);
    std::vector<std::string> lines;
    // A capture cut short (a full card, a crash of the capture program)
    // plays without an error; only the count tells.
    if (EndedEarly(state))
        lines.push_back(" - The file ended after " + Dec(state.framesSeen + state.framesOutsideRange) + " of its "
                        + Dec(FramesToPlay(state)) + (state.frames.whole() ? " frames" : " frames in the range"));
    if (state.timeRange)
        lines.push_back(" - Captured " + TimeRangeText(*state.timeRange) + " UTC: " + Dec(state.framesSeen) + " of "
                        + Dec(state.framesSeen + state.framesOutsideRange) + " frames read");
    const bool swap = state.orientation.swapsSides();
    lines.push_back(" - Output res " + Dec(swap ? state.cropHeight : state.cropWidth) + " x "
                    + Dec(swap ? state.cropWidth : state.cropHeight));
    for (std::string& line : OrientationLines(state.colour, state.meridianTurn))
        lines.push_back(std::move(line));
    lines.push_back(Dec(state.framesWritten) + "/" + Dec(FramesToPlay(state)) + " frames written");
    lines.push_back(" - FPS: " + Dec(fps));
    // An output that refused a frame makes the file a failure in the batch,
    // however well the frames played.
    // A run that wrote nothing has no output to call complete.
    lines.push_back(state.stopRequested            ? "Orbicropping stopped!"
                        : state.outputFailed       ? "Orbicropping failed!"
                        : state.framesWritten == 0 ? "Orbicropping failed: no frame was written!"
                                                   : "Orbicropping complete!");
    return lines;
}

std::int32_t ProcessFile(TProcessingState& state, RunHost& host, const std::string& path, const SourceOpener& open,
                         std::optional<VideoInfo>* described)
{
    if (state.busy)
        return kRunRefused;
    BusyGuard busy(state);
    state.framesSeen = 0;
    state.framesOutsideRange = 0;
    state.firstFrames = {};
    state.mosaic = 0;
    state.acceptFrames = false;
    if (path.empty())
        return kRunRefused;

    host.appendLog("Opening file " + FileNameOf(path), true);
    try {
        auto source = open(path);
        const std::optional<VideoInfo> video = source->video();
        if (!video) {
            host.showMessage("Couldn't find a video stream");
            return kRunNoVideoStream;
        }
        if (described != nullptr)
            *described = *video;
        TakeVideo(state, host, *video);
        state.acceptFrames = true;

        CFakeCallback callback(state, host, host);
        std::unique_ptr<FrameAligner> aligner;
        if (state.centring.surface) {
            aligner = std::make_unique<PhaseAligner>(state.centring.surfaceRefresh);
            callback.setAligner(aligner.get());
        }
        std::unique_ptr<DispersionMeter> dispersionMeter;
        if (state.colour.alignRgb != AlignRgb::Off) {
            dispersionMeter = std::make_unique<PhaseDispersionMeter>();
            callback.setDispersionMeter(dispersionMeter.get());
        }
        const PlayLimits limits = PlayLimitsFor(state, video->frameRate);
        TakeOutputRate(state, host, path, *video);
        TakeMosaic(state, host, *video, *source, limits.firstFrame);
        if (!state.testMode) {
            LogCaptureTime(state, host, *source, *video);
            LogOutputBeyondInput(state, host);
            LogFrameRange(state, host);
            host.setProgressMax(FramesToPlay(state));
        }

        std::optional<LevelsSink> levels;
        if (state.colour.levels)
            levels.emplace(callback, *state.colour.levels, state.levels, [&state, &host](const FileLevels& fixed) {
                if (!state.testMode)
                    host.appendLog(LevelsLine(fixed), true);
            });
        FrameSink& handler = levels ? static_cast<FrameSink&>(*levels) : callback;
        std::optional<CalibratedPlay> calibrated;
        if (state.calibration.any())
            calibrated.emplace(PrepareCalibration(state, host, path, *video, *source, limits), handler, state.mosaic);
        FrameSink& sink = calibrated ? static_cast<FrameSink&>(calibrated->sink) : handler;
        const auto start = std::chrono::steady_clock::now();
        PlayPasses(*source, callback, sink, state, host, limits);
        // A probe's levels come from all the first frames it played.
        if (levels && state.testMode && levels->playedLevels())
            state.levels = levels->playedLevels();
        if (!state.testMode) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            for (const std::string& line : RunSummaryLines(
                     state, video->length, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()))
                host.appendLog(line, false);
        }
        return 0;
    } catch (const FrameSourceError& e) {
        host.showMessage(MessageFor(e, path));
        return kRunFailed;
    } catch (const CalibrationError& e) {
        host.showMessage(e.what());
        return kRunFailed;
    }
}
