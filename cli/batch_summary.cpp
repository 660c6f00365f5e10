// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_summary.h"

#include <cstdint>

namespace {

std::string Count(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Several messages of one file on one line of the summary.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (char c : text)
        line += c == '\n' ? std::string("; ") : std::string(1, c);
    return line;
}

}   // namespace

std::string BatchSummary(const BatchResult& result)
{
    std::int32_t done = 0, failed = 0, stopped = 0, notRun = 0;
    std::int64_t written = 0;
    for (const FileOutcome& file : result.files) {
        written += file.framesWritten;
        switch (file.status) {
        case FileOutcome::Status::Done: ++done; break;
        case FileOutcome::Status::Failed: ++failed; break;
        case FileOutcome::Status::Stopped: ++stopped; break;
        case FileOutcome::Status::NotRun: ++notRun; break;
        }
    }
    std::string text = "orbicrop-cli: " + Count(done, "file", "files") + " done, " + std::to_string(failed) + " failed";
    if (stopped + notRun > 0)
        text += ", " + std::to_string(stopped) + " stopped, " + std::to_string(notRun) + " not processed";
    text += "; " + Count(written, "frame", "frames") + " written\n";
    for (const FileOutcome& file : result.files) {
        const std::string kept = (file.notKept ? ", " + std::to_string(*file.notKept) + " not kept" : "")
            + (Rejected(file) > 0 ? ", " + std::to_string(Rejected(file)) + " rejected" : "");
        const std::string ended = file.endedEarly ? "; the file ended after " + std::to_string(file.framesSeen)
                + " of its " + std::to_string(file.frameCount) + " frames"
                                                  : "";
        const std::string frames = " (" + std::to_string(file.framesWritten) + " of "
            + Count(file.framesSeen, "frame", "frames") + kept + ended + ")";
        switch (file.status) {
        case FileOutcome::Status::Done:
            text += "  done     " + file.input + " -> " + file.output + frames + "\n";
            break;
        case FileOutcome::Status::Stopped:
            text += "  stopped  " + file.input + " -> "
                + (file.outputPlaced ? file.output + frames : std::string("nothing written")) + "\n";
            break;
        case FileOutcome::Status::Failed:
            text += "  failed   " + file.input + ": " + OneLine(file.reason) + "\n";
            break;
        case FileOutcome::Status::NotRun:
            text += "  skipped  " + file.input + ": the batch was stopped before it\n";
            break;
        }
    }
    return text;
}

std::optional<std::string> LowYieldWarning(const FileOutcome& file)
{
    // Frames left out by --keep-best or rejected for a chosen reason were
    // dropped on purpose.
    const std::int64_t candidates = std::int64_t(file.framesSeen) - file.notKept.value_or(0) - Rejected(file);
    if (file.framesWritten <= 0 || std::int64_t(file.framesWritten) * 2 >= candidates)
        return std::nullopt;
    return "warning: only " + std::to_string(file.framesWritten) + " of " + Count(file.framesSeen, "frame", "frames")
        + " were written (" + std::to_string(file.noPlanet) + " without a planet, "
        + (file.noLimb > 0 ? std::to_string(file.noLimb) + " without a limb, " : "") + std::to_string(file.incomplete)
        + " incomplete, " + std::to_string(file.notWritten) + " refused by the output)";
}
