// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/dispersion.h"
#include "analysis/levels.h"
#include "analysis/frame_output.h"
#include "video/frame_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How many frames of one file of a join were read and written, and where
// they start in the joined numbering.
struct JoinedPart {
    std::string input;
    std::int32_t firstIndex = 0;   // the joined number of its first frame, as its header counts
    std::int32_t frames = 0;       // frames read in the last play
    std::int32_t written = 0;      // frames written (kept by the batch's own count)
    // Whether its frames carry capture times of their own (SER time stamps),
    // from the first frame the last play delivered with its stored samples;
    // unknown for files read without them.
    std::optional<bool> stamped;
};

// What became of one chosen file in a batch, for summaries and reports.
struct FileOutcome {
    enum class Status {
        Done,      // every frame played and the output holds frames
        Failed,    // the run failed, was skipped by the batch rules, or wrote nothing
        Stopped,   // the user stopped the batch in this file; its output keeps the frames written
        NotRun,    // the batch was stopped before this file
    };
    std::string input;           // as the shell chose it
    std::string output;          // the path its output takes; empty when none was opened
    bool outputPlaced = false;   // the output took its final name (it holds frames)
    Status status = Status::NotRun;
    std::string reason;            // the file's failure messages, one a line; empty when none
    std::int32_t frameCount = 0;   // as the file's header declares
    std::int32_t framesSeen = 0;
    bool endedEarly = false;   // played to its end, which came before frameCount frames
    std::int32_t framesWritten = 0;
    std::int32_t noPlanet = 0;   // frames dropped, by reason
    std::int32_t incomplete = 0;
    std::int32_t notWritten = 0;   // the output refused them
    std::int32_t cut = 0;          // the rejection reasons the user chose
    std::int32_t small = 0;
    std::int32_t saturated = 0;
    std::int32_t dim = 0;
    std::int32_t noLimb = 0;               // centred on the limb: found, but no limb fitted
    std::optional<std::int32_t> notKept;   // frames --keep-best left out; only when it was asked for
    std::optional<double> firstTime;       // presentation times in seconds, when any frame played
    std::optional<double> lastTime;
    // Where the capture's time came from ("ser trailer", "firecapture
    // sidecar", ...; see TimeFrom); empty when nothing dated it.
    std::string timeFrom;
    // The capture times of the first and last frames played and of the
    // first and last written, where the frames have times: the capture's
    // mid-time and that of what was written (after rejections, ranges and
    // keep-best) are the middles of each pair.
    std::optional<std::int64_t> firstUtc;
    std::optional<std::int64_t> lastUtc;
    std::optional<std::int64_t> firstWrittenUtc;
    std::optional<std::int64_t> lastWrittenUtc;
    // What its capture program wrote of it: camera, filter, target.
    CaptureNotes notes;
    std::optional<VideoInfo> video;   // as the source described it
    bool grayscale = false;           // the output's mode, as fixed for this file
    std::int32_t cropWidth = 0;       // the output's size, as fixed for this file
    std::int32_t cropHeight = 0;
    std::optional<double> limbRadius;       // the disc radius the file was centred with
    std::optional<Dispersion> dispersion;   // red and blue against green, when measured
    std::optional<FileLevels> levels;       // the 8-bit picture's, when levels were given
    // A colour mosaic: the file's own (a layout id, 8..19; 0: none), whether
    // it was debayered, and else the arrangement of the written frames.
    std::int32_t mosaic = 0;
    bool debayered = false;
    std::int32_t writtenMosaic = 0;
    // What turned and mirrored its frames (see OrientationSummary); empty when nothing did.
    std::string orientation;
    // A join: the files whose frames this output holds, in order; input is
    // the first of them.
    std::vector<JoinedPart> joined;
    // Split by time: every piece placed, in order; output is the first.
    std::vector<std::string> pieces;
};

// Frames dropped for a reason the user chose.
inline std::int32_t Rejected(const FileOutcome& file)
{
    return file.cut + file.small + file.saturated + file.dim;
}

struct BatchResult {
    std::int32_t completed = 0;       // files whose run completed and whose output took every frame
    std::int32_t failed = 0;          // files that failed, were skipped, or whose output refused a frame
    bool started = false;             // false when the last test had not passed
    bool stopped = false;             // the user stopped the batch
    std::vector<FileOutcome> files;   // one per chosen file, in order
};
