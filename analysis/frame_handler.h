// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/channel_shift.h"
#include "analysis/crop.h"
#include "analysis/debayer_crop.h"
#include "analysis/dispersion.h"
#include "analysis/frame_aligner.h"
#include "analysis/frame_output.h"
#include "analysis/frame_quality.h"
#include "analysis/frame_ranking.h"
#include "analysis/frame_sink.h"
#include "analysis/planet.h"
#include "analysis/processing_state.h"
#include "analysis/run_options.h"
#include "analysis/run_report.h"
#include "image/frame_view.h"
#include "image/gray_plane.h"
#include "image/output_bitmap.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The per-frame work of a file run. In a test run it measures and crops the
// played frames without writing them and, at the last test frame, shows the
// preview or the threshold warning; in a processing run it crops every frame
// in which the planet is found at the output size and appends it to the
// state's output. Its effect on the run is carried by the state; the handler
// itself keeps nothing between frames but reused memory.
class CFakeCallback : public FrameSink {
public:
    CFakeCallback(TProcessingState& state, const RunOptions& options, RunReport& report)
        : m_state(state), m_options(options), m_report(report)
    {}

    // Returns non-zero, asking the source for no further frame, once the
    // state says a stop was requested (checked after the frame, and after the
    // shell handled its events); a frame the handler ignores or cannot write
    // is no reason to stop. An output that takes samples gets the frame's
    // native samples at the crop window and its time.
    std::int32_t FrameCB(const SourceFrame& frame) override;
    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override
    {
        return FrameCB({sampleTime, buffer, bufferLength});
    }

    // Grey frames of a processing run are measured and cropped as they are;
    // the results are those of the same frame expanded to 24 bits.
    bool acceptsGrayFrames() const override { return true; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override
    {
        if (bottomRow == nullptr)
            return status();
        SourceFrame frame;
        frame.sampleTime = sampleTime;
        frame.grayBottomRow = bottomRow;
        frame.grayStride = stride;
        return FrameCB(frame);
    }

    // A processing run measures a colour frame on its green channel and
    // converts only the window it crops, unless something of the run looks
    // at the whole picture (see needsWholePicture).
    bool acceptsPaintedFrames() const override { return !m_state.testMode && !needsWholePicture(); }

    // Processing runs measure ahead with the choices of the run; a test
    // measures in turn, as it also looks at how the planet fills the frame.
    std::optional<FrameMeasurer> measurerAhead() override;

    // Only an output of samples and the saturation check read them; a check
    // turned on while the run plays judges the 8-bit picture instead.
    bool readsStoredSamples() const override;

    // Where the planet is in one frame, as measured, and in surface mode
    // how far the content moved.
    struct Measurement : PlanetFix {
        ContentShift shift;
    };

    // A processing run that ranks its frames plays the file twice: Measure
    // crops and scores every frame into the ranking and writes nothing, then
    // Write writes the frames the ranking kept. Single is every other run.
    enum class Pass { Single, Measure, Write };
    void setPass(Pass pass, FrameRanking* ranking);
    // The aligner of surface mode (not owned); without one, surface mode is
    // not available and frames are centred on their centre of gravity.
    void setAligner(FrameAligner* aligner) { m_aligner = aligner; }
    // What measures red and blue against green in a test's first frames (not
    // owned); without one nothing is measured.
    void setDispersionMeter(DispersionMeter* meter) { m_dispersionMeter = meter; }

private:
    std::int32_t status() const;
    std::int32_t handleBgr(const SourceFrame& frame, std::uint8_t* buffer, std::int32_t bufferLength);
    std::int32_t handleGray(const SourceFrame& frame);
    std::int32_t handlePainted(const SourceFrame& frame);
    bool needsWholePicture() const;
    // The frame's picture with at least window's pixels in it: frame
    // itself, or the painter's picture when the frame in hand is green only.
    FrameView pictureFor(const FrameView& frame, const CropWindow& window) const;
    // markable is the same frame when it may be written (for the show-effect
    // marking); a test always has one.
    // native is the same frame as the source holds it, when it said.
    // ahead is the frame's measurement made by the source, when it made one.
    void handle(const FrameView& frame, const MarkableFrame* markable, double sampleTime, const NativeFrame* native,
                const AheadMeasurement* ahead);
    SearchChoices choices(bool evenCentre) const;
    Measurement measure(const FrameView& frame, bool evenCentre, const AheadMeasurement* ahead);
    void noteFirstFrame(const Measurement& m);
    void noteDispersion(const FrameView& frame, const Measurement& m);
    void cropForTest(const FrameView& frame, const Measurement& m);
    // record carries the frame's index and capture time; the writing pass of
    // a ranked run adds its quality score.
    FrameRecord::Outcome cropAndWrite(const FrameView& frame, const Measurement& m, const NativeFrame* native,
                                      FrameRecord& record);
    void alignOnContent(const FrameView& frame, Measurement& m, bool evenCentre);
    bool keepsMosaic() const;
    std::optional<FrameRecord::Outcome> rejection(const FrameView& frame, const NativeFrame* native,
                                                  const Measurement& m) const;
    static ObjectInCrop ObjectIn(const CropWindow& window, const Measurement& m, const FrameView& frame);
    bool debayers() const;
    static std::pair<std::int64_t, std::int64_t> TopLeft(const CropWindow& window, std::int32_t frameHeight);
    void debayerBitmap(const FrameView& frame, const CropWindow& window);
    // The bitmap as a colour output gets it: debayered, and red and blue
    // moved onto green when the file's dispersion is corrected.
    void finishBitmap(const FrameView& frame, const CropWindow& window);
    bool alignsChannels() const;
    const OutputBitmap& orientedBitmap();
    const GrayPlane& orientedPlane();
    FrameRecord::Outcome write(const FrameView& frame, const NativeFrame* native, const CropWindow& window,
                               const FrameRecord& record);
    void showTestResult(const MarkableFrame& frame, const Measurement& m);
    void showPreview(const MarkableFrame& frame, const Measurement& m);
    FrameOverlay overlay(const FrameView& frame, const Measurement& m) const;
    void showLiveFrame(const FrameView& frame, const Measurement& m, const FrameRecord& record);

    TProcessingState& m_state;
    const RunOptions& m_options;
    RunReport& m_report;
    // The picture and grey plane of the frame in hand, and a test's grey frame
    // expanded to 24 bits. They live in the handler so that their memory
    // serves every frame of the run: a fresh block per frame cost page faults
    // for each one. Each frame sizes and fills them anew.
    OutputBitmap m_bitmap;
    GrayPlane m_grayPlane;
    std::unique_ptr<std::uint8_t[]> m_expanded;
    std::size_t m_expandedBytes = 0;
    QualityMeter m_quality;
    Pass m_pass = Pass::Single;
    FrameRanking* m_ranking = nullptr;
    FrameAligner* m_aligner = nullptr;
    DispersionMeter* m_dispersionMeter = nullptr;
    OutputBitmap m_disc;   // the colour square around the disc that dispersion is measured on
    ChannelShifter m_shifter;
    ContentShift m_lastShift;
    SampleFrame m_samples;   // the frame as an output that takes samples gets it
    // The output frame turned and mirrored, when the file's output is.
    OutputBitmap m_turned;
    GrayPlane m_turnedPlane;
    std::vector<std::uint8_t> m_scratch;
    DebayerCrop m_debayer;
    FramePainter* m_painter = nullptr;   // the frame in hand's, while it is green only
    bool m_debayeredBitmap = false;      // the bitmap holds the frame's colours already
    bool m_alignedBitmap = false;        // its red and blue are moved onto green already
};

constexpr const char* kWarningNoPlanet = "COG Threshold Too High!";
constexpr const char* kWarningCropRefused = "COG Threshold Too Low!";
constexpr const char* kWarningNoLimb = "No Limb Found!";
