// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/calibration_options.h"
#include "analysis/centring_options.h"
#include "analysis/object_extent.h"
#include "analysis/colour_options.h"
#include "analysis/frame_output.h"
#include "analysis/frame_range.h"
#include "analysis/output_rate.h"
#include "analysis/time_range.h"
#include "image/frame_view.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class FrameOutput;

// The one record that every stage of a run shares: frame geometry, analysis
// settings, output size, run mode, counters and the result flags of the last
// run. It is owned by the shell (window or command-line tool) and lives as
// long as it; the core takes it by reference and never keeps a copy.
//
// Frame coordinates used throughout: column x from the left edge, stored row
// y from the first row in memory, which is the BOTTOM row of the picture.
struct TProcessingState {
    std::int32_t blockSize = 0;    // edge of an analysis block in pixels (4 once a shell starts)
    std::int32_t inputWidth = 0;   // decoded frame size of the current file
    std::int32_t inputHeight = 0;
    std::int32_t frameCount = 0;     // frame rate x stream length, rounded, or the header's count when larger
    std::int32_t frameLimit = 0;     // 2 for a test run, 0 for a processing run (whole file)
    std::int32_t firstFrame = 0;     // the frame a run starts with, by its number in the file
    bool testMode = false;           // a test run is playing
    double thresholdPercent = 0.0;   // detection setting -100..100, taken when a test starts
    std::int32_t cropWidth = 0;      // output frame size in pixels, multiples of 16
    std::int32_t cropHeight = 0;
    bool cogValid = false;              // the planet was found in every analysed frame so far
    bool cropValid = false;             // every test crop so far was accepted
    bool colorDetected = false;         // a copied pixel had red != blue since the last test started
    bool acceptFrames = false;          // the frame handler may work on frames
    bool busy = false;                  // a file run is in progress
    bool autoColorPending = false;      // the next completed test may choose colour or greyscale
    bool stopRequested = false;         // the user asked to end the batch: the frame in hand is the last one played
    std::int32_t framesSeen = 0;        // frames handled in the current run
    std::int32_t framesWritten = 0;     // frames written to the current output; index of the next one
    bool outputFailed = false;          // the current output refused a frame; nothing more is written to it
    bool outputGrayscale = false;       // Y800 output for the current file; fixed when its output opens
    OutputRate outputRate;              // the rate an AVI output plays at; taken as centring is
    std::string currentFile;            // full path of the file being run
    std::string outputDir;              // directory of the first selected file, with trailing '/'
    FrameOutput* aviWriter = nullptr;   // where a processing run's frames go; not owned here
    CentringOptions centring;           // taken from the shell when a test or a batch file starts
    ColourOptions colour;               // taken as centring is
    bool fullFrame = false;             // output frames of the input's size; taken as centring is
    FrameRange frames;                  // the frames a processing run reads; taken as centring is
    // Only frames captured within it are played (a test's and a batch's
    // alike); the others are passed over uncounted. Taken as centring is.
    std::optional<TimeRange> timeRange;
    std::int32_t framesOutsideRange = 0;   // frames the time range passed over in the current run
    // Threads the current file's decoder may start (0: one per core); a
    // batch that runs several files at once shares the cores among them.
    std::int32_t decoderThreads = 0;
    // The current file's frames are a 2 x 2 colour mosaic, by its own word or
    // the user's: the layout id of its top-left sample (8..19), else 0.
    std::int32_t mosaic = 0;
    // How the current file's output frames are turned and mirrored: the
    // colour options' rotation and flip, and the meridian flip's half turn.
    Orientation orientation;
    MeridianTurn meridianTurn = MeridianTurn::NotAsked;
    bool objectFillsFrame = false;   // a test frame's planet blocks reached two opposite borders
    bool limbMissing = false;        // a test frame's object showed no limb to centre on
    // The output size comes from the object's extent in each file's first
    // frames (--size auto); taken as centring is.
    bool sizeFromObject = false;
    // What the current run's first frames showed of the object.
    FirstFrames firstFrames;
    // Centred on the limb: the disc's radius held for the current file,
    // once its first frames measured it.
    std::optional<double> limbRadius;
    // Red and blue against green in the current file's first frames, when
    // the colours are to be aligned and its output is in colour.
    std::optional<Dispersion> dispersion;
    // The levels the current file's 8-bit picture is made with, once fixed
    // (auto: by its first frames).
    std::optional<FileLevels> levels;
    // UTC of the current file's stream time 0 (100 ns ticks since 0001-01-01),
    // when known; frames without their own time are dated from it.
    std::optional<std::int64_t> startUtcTicks;
    // How a file is dated where its frames carry no time of their own: the
    // user's pattern for names and the local time they are written in, and
    // --start-time. Taken as centring is.
    std::string nameTimePattern;
    std::optional<std::int32_t> utcOffsetSeconds;
    std::optional<std::int64_t> startTimeOption;
    // Where the current file's capture time came from, in the report's words
    // ("ser trailer", "file name", ...); empty when nothing dates it.
    std::string timeFrom;
    // What the current file's capture program wrote of it (its sidecar).
    CaptureNotes captureNotes;
    // The masters and defect repair every frame is calibrated with; taken as
    // centring is. The masters are loaded once and kept while the choice and
    // their files stay the same.
    CalibrationOptions calibration;
    std::shared_ptr<const LoadedMasters> masters;
};

constexpr std::int32_t kBlockSize = 4;
constexpr std::int32_t kCropSizeStep = 16;   // one slider step of the output size, in pixels
constexpr std::int32_t kCropPositionMin = 2;
constexpr std::int32_t kCropPositionMax = 40;
// Lunar and solar fields go beyond the sliders: sizes up to 4096 pixels, in
// the same steps.
constexpr std::int32_t kLargeCropPositionMax = 256;

// Derives the output size from the two size-slider positions (2..40):
// cropWidth = widthPosition x 16, cropHeight = heightPosition x 16.
void UpdateCropSize(TProcessingState& state, std::int32_t widthPosition, std::int32_t heightPosition);
// A whole-frame output's size: the input's, rounded down to even (a mosaic's
// cell stays whole), at least 2.
void TakeWholeFrame(TProcessingState& state, std::int32_t inputWidth, std::int32_t inputHeight);

// The decoded frame of the state's size: BGR, bottom-up, stride width x 3.
inline FrameView BgrFrame(const TProcessingState& state, const std::uint8_t* frame)
{
    return {frame, std::ptrdiff_t(state.inputWidth) * 3, state.inputWidth, state.inputHeight, 3};
}

inline MarkableFrame MarkableBgrFrame(const TProcessingState& state, std::uint8_t* frame)
{
    return {frame, std::ptrdiff_t(state.inputWidth) * 3, state.inputWidth, state.inputHeight};
}

// A grey frame of the state's size whose bottom row starts at bottomRow.
inline FrameView GrayFrame(const TProcessingState& state, const std::uint8_t* bottomRow, std::ptrdiff_t stride)
{
    return {bottomRow, stride, state.inputWidth, state.inputHeight, 1};
}
