// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/frame_view.h"
#include "image/orientation.h"
#include "image/output_bitmap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One frame's outcome, for shells that keep a track of the planet.
struct FrameRecord {
    // Cut, Small, Saturated and Dim: the rejection reasons, in the order
    // they are tried after NoPlanet.
    // NoLimb: centred on the limb, the object was found but no limb fitted.
    enum class Outcome {
        Analysed,
        Written,
        NoPlanet,
        Incomplete,
        NotWritten,
        NotKept,
        Cut,
        Small,
        Saturated,
        Dim,
        NoLimb
    };
    std::int32_t index = 0;    // the frame's number in the file, from 0
    double sampleTime = 0.0;   // presentation time in seconds
    bool found = false;
    double centerX = 0.0;   // frame coordinates: x from the left, y from the bottom row
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    Outcome outcome = Outcome::Analysed;
    // With frame ranking: the quality score, 1.0 for the file's best frame
    // (0 for a frame without a window). With surface mode: the measured
    // content shift, picture coordinates (x right, y down), before rounding.
    double quality = 0.0;
    double shiftX = 0.0;
    double shiftY = 0.0;
    std::optional<std::int64_t> utcTicks;   // capture time (100 ns ticks since 0001-01-01 UTC), when known
    // A mosaic written as it is: its layout id at the written window's
    // top-left sample (an AVI cannot name it); 0 otherwise.
    std::int32_t mosaic = 0;
    // Centred on the limb: the fitted disc's radius; 0 otherwise.
    double limbRadius = 0.0;
};

// The track's word for an outcome: "written", "no planet", "cut" …
const char* OutcomeText(FrameRecord::Outcome outcome);

// What a shell draws over a whole frame: the centre found and the object's
// extent, where the output window is taken, and why the frame would be
// dropped. Frame coordinates: x from the left, y from the bottom row.
struct FrameOverlay {
    bool found = false;
    double centerX = 0.0;
    double centerY = 0.0;
    double radiusX = 0.0;
    double radiusY = 0.0;
    std::int32_t cropLeft = 0;   // the output window's first column and row
    std::int32_t cropBottom = 0;
    std::int32_t cropWidth = 0;
    std::int32_t cropHeight = 0;
    // Empty when the frame would be written; else the track's word for why
    // not, in the track's words (OutcomeText).
    std::string outcome;
    // How the output turns the window's picture, so that a shell showing
    // the cut shows it as it is written.
    Orientation orientation;
};

// What a run tells the shell that drives it (the window, the command-line
// tool, or a test recorder). Everything is called on the thread that runs
// the file.
class RunReport {
public:
    virtual ~RunReport() = default;

    // The preview after a test's last frame: the cropped picture (panel black,
    // no caption, picture shown), or the red warning panel with a caption.
    virtual void showPreview(const OutputBitmap& picture) = 0;
    virtual void showWarning(const std::string& caption) = 0;

    // Progress of a processing run, in frames.
    virtual void setProgressMax(std::int32_t frames) = 0;
    virtual void setProgress(std::int32_t frames) = 0;
    // Let the shell handle its pending events; called once after every frame.
    virtual void processEvents() = 0;

    // One log line; repaint asks for it to be drawn at once.
    virtual void appendLog(const std::string& line, bool repaint) = 0;
    // A failure message the window shows in a modal box.
    virtual void showMessage(const std::string& text) = 0;

    // Every analysed frame, after its outcome is known. Optional.
    virtual void frameAnalysed(const FrameRecord&) {}
    // The best crop of a file, when the run was asked for it; called once per
    // file, during the writing pass. Optional.
    virtual void bestFrame(const OutputBitmap&) {}
    // The whole last frame of a test (marked as the preview is marked, with
    // Show Effect) and what was found in it, right after the preview or the
    // warning. Optional.
    virtual void showFrame(const FrameView& /*frame*/, const FrameOverlay& /*overlay*/) {}
    // A processing run asks after each frame it has decided (not in a
    // measuring pass) whether the shell would show it now; when it would,
    // the frame follows with its marks and record. A shell answers true only
    // as often as it can show frames without slowing the run. Optional.
    virtual bool wantsLiveFrame() { return false; }
    virtual void showLiveFrame(const FrameView& /*frame*/, const FrameOverlay& /*overlay*/,
                               const FrameRecord& /*record*/)
    {}
    // The object is larger than the output: told once per file, from the
    // first frames. The window also shows it beside the preview.
    virtual void showCutWarning(const std::string& text) { appendLog(text, true); }
    // Every candidate's normalised quality score of a ranked file, best
    // first, and how many of them are kept; once per file, between the
    // measuring and the writing pass, when the centring choices ask for them.
    // Optional.
    virtual void qualityScores(const std::vector<double>& /*sortedScores*/, std::int32_t /*kept*/) {}
};
