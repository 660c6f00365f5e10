// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_host.h"

#include "capture/sidecar.h"
#include "cli/batch_summary.h"
#include "run/png_writer.h"
#include "fileio/frame_sequence.h"
#include "output/paths.h"
#include "run/open_frame_source.h"
#include "run/plots.h"
#include "video/ser/ser_source.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int)
{
    g_interrupted.store(true);
}

// The track names the arrangement of written mosaics when any file may be
// one: a pattern was declared, or a SER file's header names one. The
// columns are fixed before the first file plays.
bool TrackNamesMosaics(const CliOptions& options)
{
    if (options.choices.colour.declaredBayer)
        return true;
    return std::any_of(options.files.begin(), options.files.end(), [](const std::string& file) {
        if (IsFrameSequence(file)) {
            // Still images name their pattern in each frame (BAYERPAT).
            try {
                const std::optional<VideoInfo> video = OpenFrameSource(file)->video();
                return video && video->samples && IsMosaic(video->samples->colour);
            } catch (const FrameSourceError&) {
                return false;   // the run tells why it cannot be read
            }
        }
        const std::optional<std::int32_t> colour = SerColourIdOf(file);
        return colour && IsMosaic(*colour);
    });
}

}   // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested()
{
    return g_interrupted.load();
}

TerminalHost::TerminalHost(const CliOptions& options, TProcessingState& state)
    : m_options(options), m_state(state), m_grayscale(options.color.has_value() && !*options.color)
{
    if (!options.quiet && isatty(STDERR_FILENO))
        m_progress = std::make_unique<ProgressBar>(stderr);
    if (!options.trackPath.empty())
        m_track = std::make_unique<TrackWriter>(
            options.trackPath,
            TrackColumns{
                options.format != OutputFormat::Avi, options.choices.centring.rankFrames(),
                options.choices.centring.surface, TrackNamesMosaics(options),
                std::any_of(options.files.begin(), options.files.end(),
                            [](const std::string& file) { return orbicrop::capture::SidecarFacts(file).has_value(); }),
                options.choices.centring.limb});
}

RunChoices TerminalHost::choices() const
{
    RunChoices chosen = m_options.choices;
    chosen.widthPosition = m_options.width / kCropSizeStep;
    chosen.heightPosition = m_options.height / kCropSizeStep;
    chosen.grayscale = m_grayscale;
    chosen.autoColor = m_options.autoColor && !m_options.color.has_value();
    return chosen;
}

void TerminalHost::printAboutFile(const std::string& file, const std::string& text)
{
    if (m_progress)
        m_progress->finish();
    // Every line of a message names the file, so that each can be grepped alone.
    const std::string prefix = "orbicrop-cli: " + (file.empty() ? std::string() : file + ": ");
    std::string lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines += prefix + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    std::fputs(lines.c_str(), stderr);
}

void TerminalHost::showWarning(const std::string& caption)
{
    printAboutFile(m_state.currentFile, caption);
}

void TerminalHost::setProgressMax(std::int32_t frames)
{
    if (m_progress)
        m_progress->setTotal(frames);
}

void TerminalHost::setProgress(std::int32_t frames)
{
    if (m_progress)
        m_progress->update(frames);
}

void TerminalHost::processEvents()
{
    if (InterruptRequested())
        m_state.stopRequested = true;
}

void TerminalHost::appendLog(const std::string& line, bool)
{
    if (m_progress)
        m_progress->finish();
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void TerminalHost::showMessage(const std::string& text)
{
    printAboutFile(m_state.currentFile, text);
}

void TerminalHost::fileFinished(const FileOutcome& file)
{
    m_told.started = true;
    m_told.files.push_back(file);
    m_told.completed += file.status == FileOutcome::Status::Done ? 1 : 0;
    m_told.failed += file.status == FileOutcome::Status::Failed ? 1 : 0;
    if (const auto warning = LowYieldWarning(file))
        printAboutFile(file.input, *warning);
    if (m_options.plotsDir.empty())
        return;
    // Taken, not copied: the next file starts without this one's frames,
    // also when a plot cannot be written.
    const PlotData plots = std::exchange(m_plots, PlotData());
    const std::filesystem::path base =
        std::filesystem::path(m_options.plotsDir) / std::filesystem::path(file.input).stem();
    if (!plots.frames().empty())
        WritePng(DriftPlot(plots), base.string() + "_drift.png");
    if (!plots.sortedScores().empty())
        WritePng(QualityPlot(plots.sortedScores(), plots.kept()), base.string() + "_quality.png");
}

void TerminalHost::frameAnalysed(const FrameRecord& record)
{
    if (m_state.testMode)
        return;
    if (m_track)
        m_track->write(m_joinedFile.empty() ? m_state.currentFile : m_joinedFile, m_state.inputHeight, record);
    if (!m_options.plotsDir.empty())
        m_plots.addFrame(record, m_state.inputHeight);
}

// One input: the path as given. Several: each file's picture beside it,
// named after its input, so that no file's picture replaces another's.
std::string TerminalHost::pathForFile(const std::string& given) const
{
    if (m_options.files.size() <= 1)
        return given;
    const std::filesystem::path path(given);
    const std::string input = std::filesystem::path(m_state.currentFile).stem().string();
    return (path.parent_path() / (path.stem().string() + "-" + input + path.extension().string())).string();
}

void TerminalHost::bestFrame(const OutputBitmap& picture)
{
    if (!m_options.bestFramePath.empty())
        WritePng(picture, pathForFile(m_options.bestFramePath));
}

void TerminalHost::qualityScores(const std::vector<double>& scores, std::int32_t kept)
{
    if (!m_options.qualityPlotPath.empty())
        WritePng(QualityPlot(scores, kept), pathForFile(m_options.qualityPlotPath));
    if (!m_options.plotsDir.empty())
        m_plots.setScores(scores, kept);
}

void TerminalHost::resetProgress()
{
    if (m_progress)
        m_progress->start(0);
}

void TerminalHost::fillProgress()
{
    if (m_progress)
        m_progress->finish();
}
