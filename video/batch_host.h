#pragma once

#include "analysis/run_host.h"

#include <cstdint>
#include <string>
#include <vector>

// What the open, test and process actions ask of a shell beyond a single run:
// the chosen files, the threshold control, the status panels, the enabled
// state of the controls and the preview frame around a passing test.
class BatchHost : public RunHost {
public:
    enum StatusPanel { kFilePosition = 0, kFileName = 1, kActivity = 2 };

    // The chosen files, full paths in the order chosen; read afresh at every use.
    virtual std::vector<std::string> files() const = 0;
    // Position of the threshold control, -100..100.
    virtual std::int32_t thresholdPosition() const = 0;

    virtual void clearLog() = 0;
    virtual void setStatus(StatusPanel panel, const std::string& text) = 0;
    // The three setting groups and the process control together.
    virtual void setControlsEnabled(bool enabled) = 0;
    virtual void setProcessEnabled(bool enabled) = 0;
    // A passing test frames its preview: black, one pixel wider and higher than the crop.
    virtual void showTestPassed(std::int32_t cropWidth, std::int32_t cropHeight) = 0;
    // The gauge before a file (minimum 0, progress 0) and after it (full).
    virtual void resetProgress() = 0;
    virtual void fillProgress() = 0;
};
