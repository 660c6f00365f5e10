#include "video/file_run.h"

#include "analysis/frame_handler.h"
#include "analysis/rounding.h"
#include "video/frame_source.h"
#include "video/paths.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace {

class BusyGuard {
public:
    explicit BusyGuard(TProcessingState& state) : m_state(state) { m_state.busy = true; }
    ~BusyGuard() { m_state.busy = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    TProcessingState& m_state;
};

// A real number from a file's header made into a count or a position: rounded
// half to even, and kept within the type so that absurd rates and lengths
// give absurd numbers rather than undefined behaviour.
template <typename Int>
Int RoundedWithin(double value)
{
    if (!std::isfinite(value) || value <= 0.0)
        return 0;
    if (value >= double(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return Int(RoundHalfEven(value));
}

std::string Dec(std::int64_t value) { return std::to_string(value); }

} // namespace

std::int32_t ProcessFile(TProcessingState& state, RunHost& host, const std::string& path,
                         const SourceOpener& open)
{
    if (state.busy)
        return kRunRefused;
    BusyGuard busy(state);
    state.framesSeen = 0;
    state.acceptFrames = false;
    if (path.empty())
        return kRunRefused;

    host.appendLog("Opening file " + FileNameOf(path), true);
    try {
        auto source = open(path);
        const std::int32_t streams = source->streamCount();
        bool found = false;
        VideoStreamInfo info;
        for (std::int32_t i = 0; i < streams && !found; ++i) {
            if (source->isVideoStream(i)) {
                info = source->streamInfo();
                state.frameCount = RoundedWithin<std::int32_t>(info.frameRate * info.length);
                host.appendLog(" - " + Dec(state.frameCount) + " frames", true);
                found = true;
            }
        }
        if (!found) {
            host.showMessage("Couldn't find a video stream");
            return kRunNoVideoStream;
        }

        state.inputWidth = info.width;
        state.inputHeight = info.height;
        host.appendLog(" - Input res " + Dec(state.inputWidth) + " x " + Dec(state.inputHeight), true);
        state.acceptFrames = true;

        source->enterGrabMode();
        CFakeCallback callback(state, host);

        std::int64_t stopPosition = source->duration();
        std::int32_t maxFrames = 0;
        if (state.frameLimit >= 1) {
            if (state.frameLimit < state.frameCount)
                stopPosition = RoundedWithin<std::int64_t>(state.frameLimit / info.frameRate * 10000000.0);
            else
                state.frameLimit = state.frameCount;
            state.testMode = true;
            // A stop position rounded up can lie just past the next frame's
            // time; the count keeps a test to exactly its frames.
            maxFrames = state.frameLimit;
        } else {
            state.testMode = false;
            host.setProgressMax(state.frameCount);
        }

        const auto start = std::chrono::steady_clock::now();
        source->play(stopPosition, maxFrames, callback);

        if (state.testMode) {
            host.updateCropSize();
            if (state.autoColorPending && host.autoColor()) {
                state.autoColorPending = false;
                host.selectOutputMode(state.colorDetected);
            }
        } else {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
            // A run faster than a millisecond counts as one, not as a division by zero.
            const double e = elapsed > 0 ? double(elapsed) : 1.0;
            const double d = double(stopPosition) / 10000.0;
            const std::int64_t fps = RoundHalfEven(d / e * 1000.0 / 25.0);
            host.appendLog(" - Output res " + Dec(state.cropWidth) + " x " + Dec(state.cropHeight), false);
            host.appendLog(Dec(state.framesWritten) + "/" + Dec(state.frameCount) + " frames written", false);
            host.appendLog(" - FPS: " + Dec(fps), false);
            host.appendLog("Orbicropping complete!", false);
        }
        return 0;
    } catch (const FrameSourceError& e) {
        host.showMessage(e.what());
        return e.code();
    }
}
