// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "night/night_facts.h"
#include "run/actions.h"
#include "run/batch_host.h"
#include "run/plots.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a night is run beyond the batch's own choices.
struct NightChoices {
    bool force = false;    // redo captures the resume file says were done
    bool report = false;   // score every frame and keep the best, for the night's report
    // The output format as the shell names it: part of what shapes an output.
    std::string outputKind;
};

// One capture of a night as it went: several files when they were parts of
// one capture (joined), else one.
struct NightCaptureRun {
    std::vector<std::string> inputs;
    std::optional<FileOutcome> outcome;    // none when it was skipped
    bool skipped = false;                  // done in an earlier run, or claimed by another machine
    std::string note;                      // why it was skipped
    std::vector<std::string> outputs;      // a skipped capture's, as the resume file has them
    std::optional<NightCapture> earlier;   // a capture done before: its card as that run left it
    PlotData plots;
    std::optional<OutputBitmap> best;
    double seconds = 0.0;
    std::uint64_t bytes = 0;   // the inputs' sizes
};

struct NightRun {
    std::vector<NightCaptureRun> captures;
    BatchResult batch;        // every capture that ran, as a batch's files
    bool testPassed = true;   // false: nothing ran; the captures to do are told as failed by the test
    double seconds = 0.0;
};

// Which of a night's files are one capture: each file alone, every file as
// one (a join the user asked for), or the parts of split captures together.
enum class NightJoin { None, All, Auto };

// The night's captures in capture-time order, from the inputs as given
// (folders expanded, with recurse their folders too); log holds what the
// user reads of it (the joined sets, the parts left apart and why), notes
// the folders without captures.
struct NightPlan {
    std::vector<std::vector<std::string>> captures;
    std::vector<std::string> log;
    std::vector<std::string> notes;
};
NightPlan PlanNight(const std::vector<std::string>& inputs, bool recurse, NightJoin join,
                    const SourceOpener& open = OpenFrameSource);

// One capture's card as the report shows it, pictures drawn and encoded.
NightCapture CardOf(const NightCaptureRun& run);

// The night as its report shows it, pictures drawn and encoded; a capture
// done in an earlier run as that run saw it.
NightFacts NightFactsOf(const NightRun& night, const std::string& title);

// What shapes a capture's outputs, as one text: a rerun whose text differs
// redoes the capture. Choices that only change what is reported are left out.
std::string OutputShapingOptions(const RunChoices& choices, const RunOptions& options, const std::string& outputKind);

// Tests the night once, as a batch is tested (on the first capture that
// opens; nothing runs when it fails, and batch.started stays false), then
// runs each capture as a batch of its own (its files, joined when there are
// several) into outputDir, whose resume file
// (orbicrop-night.json) tells which captures were done before with the same
// inputs and options: those are skipped and said so, unless choices.force.
// A capture is claimed while it runs, so that another machine writing into
// the same folder skips it. Every capture's result is in the resume file as
// soon as it ends, so a run killed at any point is finished by the next one.
// The batch stops at the user's stop, after the capture in hand.
NightRun RunNightAction(TProcessingState& state, BatchHost& host, const std::vector<std::vector<std::string>>& captures,
                        const std::string& outputDir, const OutputMaker& makeOutput, std::int32_t jobs,
                        const NightChoices& choices, const SourceOpener& open = OpenFrameSource);
