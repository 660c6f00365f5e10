#pragma once

#include "analysis/frame_sink.h"
#include "analysis/frame_view.h"
#include "analysis/gray_plane.h"
#include "analysis/output_bitmap.h"
#include "analysis/processing_state.h"
#include "analysis/run_host.h"

// The per-frame work of a file run. In a test run it measures and crops the
// played frames without writing them and, at the last test frame, shows the
// preview or the threshold warning; in a processing run it crops every frame
// in which the planet is found at the output size and appends it to the
// state's AVI writer. Its effect on the run is carried by the state; the
// handler itself keeps nothing between frames.
class CFakeCallback : public FrameSink {
public:
    CFakeCallback(TProcessingState& state, RunHost& host) : m_state(state), m_host(host) {}

    // Always returns 0: a frame the handler ignores or cannot write is no
    // reason for the source to stop.
    std::int32_t BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t bufferLength) override;

    // Grey frames of a processing run are measured and cropped as they are;
    // the results are those of the same frame expanded to 24 bits.
    bool acceptsGrayFrames() const override { return true; }
    std::int32_t GrayBufferCB(double sampleTime, const std::uint8_t* bottomRow, std::ptrdiff_t stride) override;

private:
    void handle(const FrameView& frame, double sampleTime);

    TProcessingState& m_state;
    RunHost& m_host;
    OutputBitmap m_bitmap;
    GrayPlane m_grayPlane;
};

constexpr const char* kWarningNoPlanet = "COG Threshold Too High!";
constexpr const char* kWarningCropRefused = "COG Threshold Too Low!";
