// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "run/open_frame_source.h"
#include "run/run_host.h"
#include "video/frame_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Plays one input file through the frame handler and reports the run as log
// lines and, for a failed step, one message. The state's frameLimit chooses
// the mode: >= 1 plays only that many frames as a test, <= 0 plays the whole
// file as a processing run (the caller has opened the writer, which the run
// tells the rate it plays at once the video is described: TakeOutputRate,
// run/source_rate.h). A test never plays more than frameLimit frames,
// whatever length the file claims, and ends with its preview or warning on
// its last frame when any frame played.
//
// Returns 0 when the run completed; 1 when it was refused (a run already in
// progress, or an empty path); kRunFailed for a failed step, whose message the
// host was shown ("The file does not exist!" for a path that names no file,
// "Couldn't load the file!" for one that cannot be read); 2 for a file
// without a video stream. busy is set for the whole run and cleared however
// it ends, also when an exception from the host passes through.
//
// A processing run that the state's stopRequested ended early says so in its
// last log line ("Orbicropping stopped!" instead of "Orbicropping complete!"),
// as does one whose output refused a frame (the state's outputFailed):
// "Orbicropping failed!". One that ended before its declared frame count
// (EndedEarly) says so before its output lines.
//
// open chooses the frame source; tests put synthetic sources behind it.
// described, when given, receives the source's description of the video.
using SourceOpener = std::function<std::unique_ptr<FrameSource>(const std::string& path)>;

// A file opened and described: no source when it cannot be opened as a
// capture; no video when it holds none. Never throws FrameSourceError.
struct DescribedSource {
    std::unique_ptr<FrameSource> source;
    std::optional<VideoInfo> video;
};
DescribedSource OpenDescribed(const std::string& path, const SourceOpener& open = OpenFrameSource);
std::int32_t ProcessFile(TProcessingState& state, RunHost& host, const std::string& path,
                         const SourceOpener& open = OpenFrameSource, std::optional<VideoInfo>* described = nullptr);

// Whether the processing run just played (not a test, not stopped) saw fewer
// frames than the file's header declares (the state's frameCount): the file
// was cut short or its header overstates it. ProcessFile logs it; the file
// still counts as done.
bool EndedEarly(const TProcessingState& state);
// How many frames a processing run plays: the file's, or those of its range
// the file holds.
std::int32_t FramesToPlay(const TProcessingState& state);

// The steps of ProcessFile, each a function of what it is given.
class CFakeCallback;
// Takes the video's frame count and size into the state and logs them, with
// the source's notice.
void TakeVideo(TProcessingState& state, RunHost& host, const VideoInfo& info);
// The 2 x 2 colour mosaic of a file's frames (a layout id, 8..19), or 0: the
// one its header names, else the one the user declared for files that name
// none (raw AVIs, SER captures saved as mono); RGB never is one.
std::int32_t FileMosaic(const VideoInfo& info, const ColourOptions& colour);
// Takes the file's mosaic into the state and names it in the log. A test of
// a file that will be debayered finds colour in it, as the output will have.
// A file that names none, with no pattern declared and detection chosen, has
// its mosaic read from the frames source plays from firstFrame on.
void TakeMosaic(TProcessingState& state, RunHost& host, const VideoInfo& info, FrameSource& source,
                std::int32_t firstFrame);
// The limits of the state's run (a test when frameLimit >= 1, which this
// may lower to a shorter file's count); sets testMode.
PlayLimits PlayLimitsFor(TProcessingState& state, double frameRate);
// Plays the file into the handler: once, or for a ranked run a measuring
// pass and then a writing one; a test whose file ended before its last
// frame plays the frames it had again. The frames reach the handler through
// sink (the handler itself, or a sink that calibrates them before it).
void PlayPasses(FrameSource& source, CFakeCallback& callback, FrameSink& sink, TProcessingState& state, RunHost& host,
                PlayLimits limits);
// The log lines that close a processing run of a video of length seconds
// that took elapsedMs.
std::vector<std::string> RunSummaryLines(const TProcessingState& state, double length, std::int64_t elapsedMs);

constexpr std::int32_t kRunRefused = 1;
constexpr std::int32_t kRunNoVideoStream = 2;
constexpr std::int32_t kRunFailed = -1;
