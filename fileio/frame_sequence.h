// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// Capture programs can save a capture as a folder of still images, one file
// a frame, numbered in the order they were taken. Such a folder, or a glob
// that names the frames, is one capture, read as a video is.

// Whether a file name ends as a still image a capture may be saved as:
// FITS (.fit, .fits, .fts), TIFF (.tif, .tiff) or PNG, in any case.
bool IsStillImageName(const std::string& name);

// Whether path holds a glob's wildcards (*, ? or [) and so names files by a
// pattern rather than one file.
bool IsGlobPattern(const std::string& path);

// The numbered series of still images in dir, each a capture: frames whose
// names differ only in their last number and share an ending, sorted by
// that number. Hidden files and names without a number are no frames.
// Empty when dir cannot be read.
struct StillSeries {
    std::string stem;                  // the name before the number, as in the first frame
    std::vector<std::string> frames;   // paths, in frame order
};
std::vector<StillSeries> StillSeriesIn(const std::string& dir);

// The frames of the capture path names, in frame order: a folder holding
// exactly one numbered series, or a glob whose matches are still images
// (all of them, ordered by their last number). Nothing when path is
// neither; a folder with several series is a folder of captures.
std::optional<std::vector<std::string>> FrameSequenceFiles(const std::string& path);

// Whether path names a capture saved as still images (see above), without
// listing it all where that can be avoided.
bool IsFrameSequence(const std::string& path);

// The name a sequence's outputs are named after: a folder's own name; for a
// glob, the pattern's name up to its first wildcard, less separators that
// end it ("Jup_*.fits" -> "Jup"), else its folder's name. For a path that
// names no sequence, its file name.
std::string FrameSequenceName(const std::string& path);

// A capture path for each series in dir: dir itself when it holds one, a
// glob naming that series alone when it holds several.
std::vector<std::string> SequenceCapturesIn(const std::string& dir);
