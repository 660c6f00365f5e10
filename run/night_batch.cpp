// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/night_batch.h"

#include "output/paths.h"
#include "run/auto_join.h"
#include "run/capture_folder.h"
#include "run/png_writer.h"
#include "run/forwarding_host.h"
#include "run/night_card.h"
#include "run/night_manifest.h"

#include <chrono>
#include <map>
#include <exception>
#include <sstream>

namespace {

// One capture's batch: its files, joined when there are several, in the
// night's one log; what the report needs of it is kept on the way through.
class CaptureHost final : public ForwardingBatchHost {
public:
    CaptureHost(BatchHost& host, std::vector<std::string> files, bool report, NightCaptureRun& run,
                const TProcessingState& state)
        : ForwardingBatchHost(host), m_files(std::move(files)), m_report(report), m_run(run), m_state(state)
    {}

    std::vector<std::string> files() const override { return m_files; }
    std::size_t testedFile() const override { return 0; }
    RunChoices choices() const override
    {
        RunChoices chosen = wrapped().choices();
        chosen.joinFiles = m_files.size() > 1;
        if (m_report) {
            chosen.centring.scores = true;
            chosen.centring.bestFrame = true;
        }
        return chosen;
    }
    // A night keeps one log from its first capture to its last.
    void clearLog() override {}
    void showMessage(const std::string& text) override
    {
        m_messages.push_back(text);
        wrapped().showMessage(text);
    }
    void frameAnalysed(const FrameRecord& record) override
    {
        if (m_report && record.outcome != FrameRecord::Outcome::Analysed)
            m_run.plots.addFrame(record, m_state.inputHeight);
        wrapped().frameAnalysed(record);
    }
    void bestFrame(const OutputBitmap& picture) override
    {
        m_run.best = picture;
        wrapped().bestFrame(picture);
    }
    void qualityScores(const std::vector<double>& scores, std::int32_t kept) override
    {
        m_run.plots.setScores(scores, kept);
        wrapped().qualityScores(scores, kept);
    }
    const std::vector<std::string>& messages() const { return m_messages; }

private:
    std::vector<std::string> m_files;
    bool m_report;
    NightCaptureRun& m_run;
    std::vector<std::string> m_messages;
    const TProcessingState& m_state;
};

// The night's one test, as a batch's: on the first capture that opens, its
// threshold and output size then serve every capture.
class TestHost final : public ForwardingBatchHost {
public:
    TestHost(BatchHost& host, const std::vector<std::vector<std::string>>& captures) : ForwardingBatchHost(host)
    {
        for (const auto& files : captures)
            m_files.insert(m_files.end(), files.begin(), files.end());
    }
    std::vector<std::string> files() const override { return m_files; }
    std::size_t testedFile() const override { return 0; }
    RunChoices choices() const override
    {
        RunChoices chosen = wrapped().choices();
        chosen.joinFiles = false;
        return chosen;
    }
    void showMessage(const std::string& text) override
    {
        m_messages.push_back(text);
        wrapped().showMessage(text);
    }
    const std::vector<std::string>& messages() const { return m_messages; }

private:
    std::vector<std::string> m_files;
    std::vector<std::string> m_messages;
};

std::vector<FileStamp> StampsOf(const std::vector<std::string>& paths)
{
    std::vector<FileStamp> stamps;
    for (const std::string& path : paths)
        stamps.push_back(StampOf(path).value_or(FileStamp{path, 0, 0}));
    return stamps;
}

std::vector<std::string> PlacedOutputs(const FileOutcome& outcome)
{
    if (!outcome.pieces.empty())
        return outcome.pieces;
    return outcome.outputPlaced ? std::vector<std::string>{outcome.output} : std::vector<std::string>{};
}

std::string Joined(const std::vector<std::string>& lines, const char* between)
{
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : between) + line;
    return text;
}

// The capture's outcome when its test did not pass: nothing was written.
FileOutcome TestFailed(const std::vector<std::string>& files, const std::vector<std::string>& messages)
{
    FileOutcome failed;
    failed.input = files.front();
    failed.status = FileOutcome::Status::Failed;
    failed.reason = messages.empty() ? "The test found no planet to centre" : Joined(messages, "\n");
    return failed;
}

// The capture's batch, with the night's test's threshold and size; parts
// that cannot be joined (the batch refuses them), and an output that cannot
// be opened, fail the capture, not the night.
FileOutcome RunCapture(TProcessingState& state, CaptureHost& host, const std::string& outputDir,
                       const OutputMaker& makeOutput, std::int32_t jobs, const SourceOpener& open)
{
    const std::vector<std::string> files = host.files();
    state.outputDir = outputDir;
    try {
        BatchResult result = RunProcessAction(state, host, makeOutput, jobs, open);
        if (result.files.empty())
            return TestFailed(files, host.messages());
        return result.files.front();
    } catch (const std::exception& e) {
        FileOutcome failed = TestFailed(files, {});
        failed.reason = e.what();
        return failed;
    }
}

void Count(BatchResult& batch, const FileOutcome& outcome)
{
    batch.started = true;
    batch.files.push_back(outcome);
    batch.completed += outcome.status == FileOutcome::Status::Done ? 1 : 0;
    batch.failed += outcome.status == FileOutcome::Status::Failed ? 1 : 0;
    batch.stopped = batch.stopped || outcome.status == FileOutcome::Status::Stopped;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Whether the capture need not run: done before, or in another machine's hands.
bool Skip(const NightManifest& manifest, const std::vector<FileStamp>& stamps, const std::string& options,
          const NightChoices& choices, const std::string& folder, NightCaptureRun& run)
{
    if (choices.force)
        return false;
    if (const auto done = manifest.doneBefore(stamps, options)) {
        run.skipped = true;
        run.note = "done in an earlier run";
        for (const FileStamp& output : done->outputs)
            run.outputs.push_back(output.path);
        run.earlier = LoadCard(done->card, folder);
        return true;
    }
    return false;
}

const char* StatusWord(FileOutcome::Status status)
{
    switch (status) {
    case FileOutcome::Status::Done: return "done";
    case FileOutcome::Status::Failed: return "failed";
    case FileOutcome::Status::Stopped: return "stopped";
    case FileOutcome::Status::NotRun: return "stopped";
    }
    return "failed";
}

// Each reason frames were dropped for, in the track's words, with its count.
std::vector<std::pair<std::string, std::int32_t>> DroppedByReason(const FileOutcome& f)
{
    using O = FrameRecord::Outcome;
    const std::pair<O, std::int32_t> counts[] = {
        {O::NoPlanet, f.noPlanet},     {O::NoLimb, f.noLimb}, {O::Incomplete, f.incomplete},
        {O::NotWritten, f.notWritten}, {O::Cut, f.cut},       {O::Small, f.small},
        {O::Saturated, f.saturated},   {O::Dim, f.dim},       {O::NotKept, f.notKept.value_or(0)}};
    std::vector<std::pair<std::string, std::int32_t>> dropped;
    for (const auto& [outcome, count] : counts)
        if (count > 0)
            dropped.emplace_back(OutcomeText(outcome), count);
    return dropped;
}

void AddOutcome(NightCapture& card, const NightCaptureRun& run)
{
    const FileOutcome& f = *run.outcome;
    card.outputs = PlacedOutputs(f);
    card.status = StatusWord(f.status);
    card.reason = f.reason;
    // Cut short (a full disk, a crash of the capture program): written, but
    // the user should know what is missing.
    if (card.reason.empty() && f.endedEarly)
        card.reason = "the file ended after " + std::to_string(f.framesSeen) + " of its " + std::to_string(f.frameCount)
            + " frames";
    if (f.firstUtc && f.lastUtc)
        card.midUtcTicks = *f.firstUtc + (*f.lastUtc - *f.firstUtc) / 2;
    card.target = f.notes.target;
    card.filter = f.notes.filter;
    card.camera = f.notes.camera;
    card.framesSeen = f.framesSeen;
    card.framesWritten = f.framesWritten;
    card.dropped = DroppedByReason(f);
    if (run.best && !run.best->empty())
        card.bestFramePng = EncodePng(*run.best);
    if (!run.plots.sortedScores().empty())
        card.qualityPng = EncodePng(QualityPlot(run.plots.sortedScores(), run.plots.kept()));
    if (!run.plots.frames().empty())
        card.driftPng = EncodePng(DriftPlot(run.plots));
}

// One capture in this machine's hands, its end recorded in the resume file
// (a stopped one is not: the next run does it again).
void RunClaimed(TProcessingState& state, BatchHost& host, NightCaptureRun& run, const NightManifest& manifest,
                const std::string& options, const std::string& folder, const OutputMaker& makeOutput, std::int32_t jobs,
                const NightChoices& choices, const SourceOpener& open, BatchResult& batch)
{
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string>& files = run.inputs;
    std::string holder;
    const auto claim = CaptureClaim::Take(folder.empty() ? "." : folder, files.front(), holder);
    if (!claim) {
        run.skipped = true;
        run.note = "being processed by " + holder;
        host.appendLog("Skipped " + FileNameOf(files.front()) + ": " + run.note, true);
        return;
    }
    // Inputs as they are when the capture starts: one changed while it ran
    // is done again by the next run.
    const std::vector<FileStamp> stamps = StampsOf(files);
    // Another machine may have finished it since this run looked, and let
    // its claim go.
    if (Skip(manifest, stamps, options, choices, folder.empty() ? "." : folder, run)) {
        run.note = "done by another run";
        host.appendLog("Skipped " + FileNameOf(files.front()) + ": " + run.note + " (" + run.outputs.front() + ")",
                       true);
        return;
    }
    CaptureHost capture(host, files, choices.report, run, state);
    // The night's test passed; a capture's frames without a planet are the
    // capture's own, not the next one's.
    state.cogValid = state.cropValid = true;
    run.outcome = RunCapture(state, capture, folder, makeOutput, jobs, open);
    run.seconds = SecondsSince(start);
    Count(batch, *run.outcome);
    if (run.outcome->status == FileOutcome::Status::Stopped || run.outcome->status == FileOutcome::Status::NotRun)
        return;
    const bool done = run.outcome->status == FileOutcome::Status::Done;
    manifest.record({stamps, options, StampsOf(PlacedOutputs(*run.outcome)), done ? "done" : "failed",
                     run.outcome->reason, StoreCard(CardOf(run), folder.empty() ? "." : folder)});
}

}   // namespace

NightCapture CardOf(const NightCaptureRun& run)
{
    NightCapture card;
    card.name = FileNameOf(run.inputs.front());
    card.inputs = run.inputs;
    card.bytesRead = run.skipped ? 0 : run.bytes;
    card.seconds = run.seconds;
    if (run.outcome)
        AddOutcome(card, run);
    return card;
}

NightPlan PlanNight(const std::vector<std::string>& inputs, bool recurse, NightJoin join, const SourceOpener& open)
{
    NightPlan plan;
    const std::vector<std::string> files = ExpandInputs(inputs, recurse, plan.notes);
    std::map<std::string, PartFacts> facts;
    for (const std::string& file : files)
        facts.emplace(file, ReadPartFacts(file, open));
    const std::vector<std::string> ordered =
        ByCaptureTime(files, [&facts](const std::string& file) { return facts.at(file).firstUtc; });
    if (ordered.empty())
        return plan;
    if (join == NightJoin::All) {
        plan.captures = {ordered};
    } else if (join == NightJoin::None) {
        for (const std::string& file : ordered)
            plan.captures.push_back({file});
    } else {
        std::vector<PartFacts> inOrder;
        for (const std::string& file : ordered)
            inOrder.push_back(facts.at(file));
        JoinPlan joins = PlanJoins(inOrder);
        plan.captures = std::move(joins.captures);
        plan.log = std::move(joins.log);
    }
    return plan;
}

NightFacts NightFactsOf(const NightRun& night, const std::string& title)
{
    NightFacts facts;
    facts.title = title;
    facts.seconds = night.seconds;
    for (const NightCaptureRun& run : night.captures) {
        if (run.earlier) {
            // As the run that did it saw it: the night is the whole night.
            NightCapture& card = facts.captures.emplace_back(*run.earlier);
            card.reason = run.note;
            continue;
        }
        NightCapture& card = facts.captures.emplace_back(CardOf(run));
        if (!run.outcome) {
            card.status = "skipped";
            card.reason = run.note;
            card.outputs = run.outputs;
        }
    }
    return facts;
}

std::string OutputShapingOptions(const RunChoices& c, const RunOptions& o, const std::string& outputKind)
{
    std::ostringstream t;
    const CentringOptions& r = c.centring;
    t << "format=" << outputKind << " threshold=" << c.thresholdPosition << " size=" << c.widthPosition << "x"
      << c.heightPosition << (c.sizeAuto ? " auto" : "") << (c.fullFrame ? " whole" : "") << " mode="
      << (c.autoColor       ? "auto"
              : c.grayscale ? "gray"
                            : "colour")
      << " invert=" << o.inverse() << " even=" << o.debayerSafe() << " incomplete=" << o.removeIncomplete()
      << " largest=" << r.largestObject << " limb=" << r.limb << " surface=" << r.surface << "/" << r.surfaceRefresh
      << " keep=" << int(r.keepBest.kind) << "/" << r.keepBest.value << "/" << r.keepBest.floor
      << " reject=" << r.reject.cut << "/" << r.reject.minSize << "/" << r.reject.maxSaturated.value_or(-1) << "/"
      << r.reject.dimPercent.value_or(-1) << " bayer=" << (c.colour.declaredBayer ? int(*c.colour.declaredBayer) : -1)
      << "/" << c.colour.debayer << "/" << int(c.colour.method) << "/" << c.colour.detectBayer << "/"
      << int(c.colour.alignRgb) << " dark=" << c.calibration.dark << " flat=" << c.calibration.flat
      << " bias=" << c.calibration.bias << " hot=" << int(c.calibration.hotPixels) << " frames=" << c.frames.first
      << "-" << c.frames.last.value_or(-1) << " segment=" << c.segmentSeconds.value_or(0)
      << " start=" << c.startTime.value_or(0) << " names=" << c.nameTime.pattern << "/"
      << c.nameTime.utcOffsetSeconds.value_or(0) << " fps=" << OutputRateText(c.outputRate);
    if (c.timeRange)
        t << " range=" << c.timeRange->first << "-" << c.timeRange->end;
    // Only when asked for, so that nights done before still match.
    if (c.colour.rotate != 0 || c.colour.flip != Flip::None || c.colour.meridianFlip)
        t << " orient=" << c.colour.rotate << "/" << int(c.colour.flip) << "/" << c.colour.meridianFlip.value_or(-1);
    if (c.colour.levels)
        t << " levels=" << LevelsText(*c.colour.levels);
    return t.str();
}

NightRun RunNightAction(TProcessingState& state, BatchHost& host, const std::vector<std::vector<std::string>>& captures,
                        const std::string& outputDir, const OutputMaker& makeOutput, std::int32_t jobs,
                        const NightChoices& choices, const SourceOpener& open)
{
    const auto nightStart = std::chrono::steady_clock::now();
    const std::string folder = outputDir.empty() || outputDir.back() == '/' ? outputDir : outputDir + "/";
    const NightManifest manifest(folder.empty() ? "." : folder);
    const std::string options = OutputShapingOptions(host.choices(), host, choices.outputKind);
    NightRun night;
    // What was done before is told first; the test is the first capture's
    // still to do, so a night done whole reads nothing.
    std::vector<std::vector<std::string>> toDo;
    for (const std::vector<std::string>& files : captures) {
        NightCaptureRun& run = night.captures.emplace_back();
        run.inputs = files;
        for (const FileStamp& s : StampsOf(files))
            run.bytes += s.size;
        if (Skip(manifest, StampsOf(files), options, choices, folder.empty() ? "." : folder, run))
            host.appendLog("Skipped " + FileNameOf(files.front()) + ": " + run.note + " (" + run.outputs.front() + ")",
                           true);
        else
            toDo.push_back(files);
    }
    TestHost test(host, toDo);
    night.testPassed = toDo.empty() || RunTestAction(state, test, open);
    if (!night.testPassed) {
        for (NightCaptureRun& run : night.captures)
            if (!run.skipped)
                run.outcome =
                    TestFailed(run.inputs,
                               test.messages().empty() ? std::vector<std::string>{"The night's test did not pass"}
                                                       : test.messages());
        night.seconds = SecondsSince(nightStart);
        return night;
    }
    for (NightCaptureRun& run : night.captures) {
        if (run.skipped)
            continue;
        if (state.stopRequested)
            break;
        RunClaimed(state, host, run, manifest, options, folder, makeOutput, jobs, choices, open, night.batch);
    }
    night.seconds = SecondsSince(nightStart);
    return night;
}
