// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "output/batch_output.h"
#include "output/output_claims.h"
#include "run/batch_host.h"
#include "run/batch_result.h"
#include "run/file_run.h"
#include "run/joined_source.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The test and process actions that the window's buttons and the
// command-line tool share, so that both give the same results.

// Plays the first two frames of the first chosen file that opens with the
// current settings, shows the preview, and enables processing when the planet
// was found and cropped. Each file before it that could not be opened (or
// holds no video stream) is named in the log with its failure; when no file
// opens, the last one's failure is shown and the test fails. The tested file
// becomes the state's currentFile, and its folder the outputDir. Does nothing
// without files. Returns whether the test passed.
// Measures and shows frame index of the state's current file with the
// host's settings now, as a test shows its last frame (the preview or the
// warning, then the whole frame with what was found in it), on a copy of the
// state: nothing is written or logged, and the last test's result stands.
// Returns false when no run may start now (a batch or a test is running) or
// the frame cannot be read; the host is then told nothing.
bool RunViewAction(const TProcessingState& state, BatchHost& host, std::int32_t index,
                   const SourceOpener& open = OpenFrameSource);

// Plays the whole of the state's current file with the host's settings as a
// batch would, writing nothing: every frame is reported (frameAnalysed) with
// the outcome a batch would give it, and the quality scores (qualityScores),
// which is what the tool's track and plots record. On a copy of the state;
// progress and events reach the host, log lines and messages do not. A stop
// the host sets in the state while it handles its events ends the analysis
// at that frame. Returns false when no run may start now or the file cannot
// be read.
bool RunAnalyseAction(const TProcessingState& state, BatchHost& host, const SourceOpener& open = OpenFrameSource);

bool RunTestAction(TProcessingState& state, BatchHost& host, const SourceOpener& open = OpenFrameSource);

// Why a time range cannot choose among the frames of files: the first of
// them whose first frame has no capture time, neither its own nor one from
// startTime or the file's name. Files that cannot be opened are left to the
// run to tell. nullopt when the range can be applied.
std::optional<std::string> TimeRangeRefusal(const std::vector<std::string>& files,
                                            std::optional<std::int64_t> startTime,
                                            const SourceOpener& open = OpenFrameSource);
// Why the chosen masters cannot calibrate the files: a master unreadable,
// the masters disagreeing, or a file of another size or Bayer pattern
// (naming both files and both sizes); nothing when they can. The masters
// are loaded into masters (kept there for the runs while current).
std::optional<std::string> CalibrationRefusal(const std::vector<std::string>& files, const RunChoices& choices,
                                              std::shared_ptr<const LoadedMasters>& masters,
                                              const SourceOpener& open = OpenFrameSource);
// What the test and the batch check before they start with the host's
// choices: that the files can be joined, that a time range has times to go
// by, and that the masters fit them (JoinRefusal, TimeRangeRefusal,
// CalibrationRefusal; the masters loaded into masters when given).
// nullopt when they may start.
std::optional<std::string> BatchRefusal(BatchHost& host, const SourceOpener& open = OpenFrameSource,
                                        std::shared_ptr<const LoadedMasters>* masters = nullptr);

// A passed test whose planet blocks reach two opposite borders of the frame:
// told in the log and in a message, and the test still passes.
constexpr const char* kFillsFrameWarning =
    "The object fills the frame: its centre of gravity will not hold a surface steady. "
    "Align by content instead: Surface mode (--surface).";

// Shown when a run plays a file that holds no frame.
constexpr const char* kNoFrameMessage = "The video holds no frame";
// Why a batch file whose frames all played left nothing in its output.
constexpr const char* kNothingWrittenReason = "no planet was found, or every crop reached the frame border";

// Turns every chosen file into its cropped output, one after the other, with
// the directory and threshold of the last test and the current output size and
// mode. An output that cannot be opened ends the whole batch with its error
// (AviError passes through); a failed file only ends that file. However the
// batch ends, the controls are enabled again and the activity panel says
// how: "Completed!" when every file was, "Completed with N failed file(s)"
// when some failed, "Stopped" (see below), or "Failed" when an error passed
// through.
//
// Each output is written under a temporary name and takes its final name only
// when it holds a frame, so a file that writes nothing leaves an older output
// as it was. A file whose output would replace a chosen input or the output of
// an earlier file of the batch is skipped. Whatever went wrong with a file is
// shown in one message after it and also written to the log.
//
// A stop requested through the state (stopRequested, set by the shell while
// a frame is handled) ends the current file after that frame, closes its
// output with the frames written so far, and skips the remaining files; the
// log says so, and the gauge stays where the stop left it. Each output
// written is named in the log ("Output: " and its absolute path) after its
// file's lines; the log ends with the folders the outputs were written to.
BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, BatchOutput& output,
                             const SourceOpener& open = OpenFrameSource);

// A fresh output of the kind the shell chose, one for each file that runs
// beside others. Called on the calling thread of the action.
using OutputMaker = std::function<std::unique_ptr<BatchOutput>()>;

// The same batch with up to jobs files running at once, each on a thread of
// its own with its own copy of the state and its own output; 1 (or a join)
// runs them one after the other as above. The outcome is the one-at-a-time
// batch's: output names are claimed in the order of the files, each before
// its file runs, and everything a file tells the shell (log, messages, frame
// records, fileFinished) reaches it on the calling thread, in the order of
// the files, once the file and all before it are over. Only the progress
// differs: the gauge shows the frames of the whole batch (resetProgress at
// the start, then setProgressMax and setProgress as they go).
//
// Open must be callable from any thread (calls to it are made one at a
// time). The shell's events are handled on the calling thread between the
// files' frames; a stop requested through the state ends every running file
// after its frame in hand and starts no other. An output that cannot be
// opened ends the batch as above, once the files before it are told; files
// after it that were running are stopped, their outputs keep their frames,
// and they are not told. Afterwards state is the state of the last file told.
BatchResult RunProcessAction(TProcessingState& state, BatchHost& host, const OutputMaker& makeOutput, std::int32_t jobs,
                             const SourceOpener& open = OpenFrameSource);

// The steps of a batch file, each a function of what it is given.
//
// Why the output path may not be written for input: it would replace one
// of the chosen files or a folder holding one, an earlier file of the batch
// claimed it, or (folder: a folder of frames) a folder of that name holds
// more than frames; the rule of OutputClaims, which this claims it in when
// it is free. nullopt when it may.
std::optional<std::string> OutputRefusal(const std::string& input, const std::string& outputPath,
                                         const std::vector<std::string>& files, OutputClaims& claims,
                                         bool folder = false);

// A file readied on state (its mode, size and choices fixed, as the batch
// shows it starting) and its output path claimed, in the order of the
// files; skipped when the rules refuse the path (told to host already).
struct PreparedFile {
    std::string outputPath;
    std::optional<FileOutcome> skipped;
};
PreparedFile PrepareBatchFile(TProcessingState& state, BatchHost& host, const BatchOutput& output,
                              const std::vector<std::string>& files, std::size_t index, std::size_t count,
                              const SourceOpener& open, OutputClaims& claims);
// Runs a prepared file into its staged output at outputPath (or pieces of
// it), tells host how it went, and returns its outcome. parts: a join's
// files, null for a single file; claims: the batch's, for a name the output
// chooses from its frames.
class SegmentedOutput;
FileOutcome RunBatchFile(TProcessingState& state, BatchHost& host, BatchOutput& output, const std::string& outputPath,
                         const SourceOpener& open, const std::shared_ptr<JoinedParts>& parts, SegmentedOutput* pieces,
                         OutputClaims& claims);
// Counts a file's outcome into the summary, and tells host it is over.
void TallyBatchFile(BatchResult& summary, BatchHost& host, FileOutcome outcome);

// What a file's run into its staged output came to.
struct FileRunFacts {
    std::int32_t result = kRunFailed;   // ProcessFile's
    std::int32_t framesSeen = 0;
    std::int32_t framesWritten = 0;
    bool outputFailed = false;            // the output refused a frame
    bool stopped = false;                 // the user stopped the batch in this file
    bool ranked = false;                  // measured before writing (keep-best, best frame)
    bool placed = false;                  // the output took its final name
    bool placementFailed = false;         // ... and could not
    bool olderOutputExists = false;       // not placed, and an older output has the name
    std::optional<TimeRange> timeRange;   // the frames were chosen by it
    std::string dropped;                  // why frames were not written, counted (DroppedFrames)
    FrameRange frames;                    // the frames asked for
    std::int32_t frameCount = 0;          // the file's, as described
};

// Why a file's frames were not written, as counted: "10 without a planet,
// 20 rejected as cut"; empty when none was dropped.
std::string DroppedFrames(const FileOutcome& file);

// The file's messages: those its run held back, then what became of its
// output (file name name, output outputPath).
std::vector<std::string> FileMessages(std::vector<std::string> messages, const FileRunFacts& run,
                                      const std::string& name, const std::string& outputPath);
// Done, stopped or failed.
FileOutcome::Status FileStatus(const FileRunFacts& run);
