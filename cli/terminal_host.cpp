// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_host.h"

#include "cli/batch_summary.h"
#include "cli/png_writer.h"
#include "run/paths.h"

#include <algorithm>
#include <filesystem>

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
            TrackColumns{options.serFormat, options.centring.rankFrames(), options.centring.surface});
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
    if (const auto warning = LowYieldWarning(file))
        printAboutFile(file.input, *warning);
}

void TerminalHost::frameAnalysed(const FrameRecord& record)
{
    if (m_track && !m_state.testMode)
        m_track->write(FileNameOf(m_state.currentFile), m_state.inputHeight, record);
}

// One input: the path as given. Several: each file's best frame beside it,
// named after its input, so that no file's best frame replaces another's.
void TerminalHost::bestFrame(const OutputBitmap& picture)
{
    std::string path = m_options.bestFramePath;
    if (path.empty())
        return;
    if (m_options.files.size() > 1) {
        const std::filesystem::path given(path);
        const std::string input = std::filesystem::path(m_state.currentFile).stem().string();
        path = (given.parent_path() / (given.stem().string() + "-" + input + given.extension().string())).string();
    }
    WritePng(picture, path);
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
