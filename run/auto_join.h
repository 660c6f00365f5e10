// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/file_run.h"
#include "run/open_frame_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Finding the files of one capture among those given, where the capture
// program split it at a size limit into numbered parts
// ("Jupiter_213500_0001.ser", "Jupiter_213500_0002.ser").

// What a file's header and times tell, enough to see whether files are
// parts of one capture.
struct PartFacts {
    std::string path;
    std::string format;   // lower-case extension without the dot: "ser", "avi", "mp4"
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t depth = 8;                 // bits per sample
    std::int32_t colour = 0;                // colour or mosaic id (0: mono)
    std::int64_t frames = 0;                // frames the file holds (declared or counted)
    std::optional<std::int64_t> firstUtc;   // first frame's capture time, 100 ns ticks since 0001-01-01 UTC
    std::optional<std::int64_t> lastUtc;    // last frame's
    std::optional<double> frameInterval;    // seconds between frames, when known
};

// A file name's part counter: "Jupiter_213500_0002.ser" is stem
// "Jupiter_213500", number 2, style "_NNNN".
struct PartName {
    std::string stem;   // the path before the counter, folder included, so parts share a folder
    std::int32_t number = 0;
    // How the counter is written, its digits as N: "_NNNN" (zero-padded to
    // four), "-N" (not padded), "_partN", "(N)", ".NNN". Parts share it.
    std::string style;
    std::string extension;   // as written, without the dot
};

// The counter a name ends in, just before its extension: digits after "_",
// "-" or ".", after "part" (any case, with or without "_", "-" or " "
// before it), or in parentheses. Digits that are not padded with a zero
// count only up to three ("Jupiter_2135.ser" is a time of day, not part
// 2135); padded ones ("_0213") may still be a time, which only the
// company of other parts tells: a name is a candidate, and PlanJoins joins
// only files that share stem, style and extension and follow each other.
// Nothing for a name without a counter.
std::optional<PartName> SplitPartName(const std::string& path);

struct JoinPlan {
    // Every input exactly once: joined sets in part order, other files
    // alone; in the order of each capture's first file in the input.
    std::vector<std::vector<std::string>> captures;
    std::vector<std::string> log;   // what the user reads
};

// Which files are parts of one capture. Files with the same stem, style
// and extension and consecutive numbers (a gap ends a set) join when they
// agree in format, frame size, depth and colour and the next part's first
// frame comes at most two frame intervals after the previous part's last
// (the earlier part's frameInterval, else its own times over its frames,
// else 2 s; files with no times pass, and the log says "times unknown").
// A file that fails ends its set and may start the next one. Files whose
// facts could not be read (width 0) are never joined and end no set.
//
// The log: "Joined as one capture: a_1.ser, a_2.ser" (file names), with
// " (times unknown)" when a step was taken without times, and for each
// refusal "Not joined: a_3.ser after a_2.ser (REASON)", REASON one of
// "frame size W x H, not W x H", "depth D bits, not D bits", "colour
// differs", "format EXT, not EXT", "starts 12.4 s after the last part
// ended", "starts before the last part ended" (the refused file's value
// first).
JoinPlan PlanJoins(const std::vector<PartFacts>& files);

// The facts of one file through the run layer's own readers: size, and for
// a SER its declared depth and colour id; times from its frames' stamps,
// else from the start its capture program's sidecar states, dated on by
// frames at the interval the sidecar's rate or the stream gives. A file
// name's time is the whole capture's, the same for every part, so it dates
// no part. A file that cannot be opened, or holds no video, gives only path
// and format.
PartFacts ReadPartFacts(const std::string& path, const SourceOpener& open = OpenFrameSource);
