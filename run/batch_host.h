// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_result.h"
#include "run/run_choices.h"
#include "run/run_host.h"

#include <cstdint>
#include <string>
#include <vector>

// What the test and process actions read from a shell: the chosen files and
// the settings that are taken once per test or once per file.
class BatchInput {
public:
    virtual ~BatchInput() = default;

    // The chosen files, full paths in the order chosen; read afresh at every use.
    virtual std::vector<std::string> files() const = 0;
    // The position in files() of the file a test starts with (the one the
    // user picked from the list of open files); the test goes on from there
    // past files that cannot be opened. The batch still runs every file.
    virtual std::size_t testedFile() const { return 0; }
    // The choices of a run, read once when a test, a view, an analysis or a
    // batch starts and when each file of a batch starts.
    virtual RunChoices choices() const = 0;
};

// What the actions show around the runs. A shell without such controls (the
// command-line tool) leaves these as they are.
class BatchView {
public:
    enum StatusPanel { kFilePosition = 0, kFileName = 1, kActivity = 2 };
    virtual ~BatchView() = default;

    virtual void clearLog() {}
    virtual void setStatus(StatusPanel, const std::string&) {}
    // The setting groups and the process control together.
    virtual void setControlsEnabled(bool) {}
    virtual void setProcessEnabled(bool) {}
    // A passing test frames its preview: black, one pixel wider and higher than the crop.
    virtual void showTestPassed(std::int32_t /*cropWidth*/, std::int32_t /*cropHeight*/) {}
    // The output size a test derived from the size controls.
    virtual void showCropSize(std::int32_t /*cropWidth*/, std::int32_t /*cropHeight*/) {}
    // The automatic choice after the first test: select the mode as if the user had.
    virtual void selectOutputMode(bool /*color*/) {}
    // After a test: the object is larger than the output, in the words of
    // the cut warning; empty when it fits.
    virtual void showSizeWarning(const std::string& /*text*/) {}
    // The gauge before a file (minimum 0, progress 0) and after it (full).
    virtual void resetProgress() {}
    virtual void fillProgress() {}
    // A file of a batch is over (also one skipped or not run); called after its messages.
    virtual void fileFinished(const FileOutcome&) {}
};

// A shell in all the roles the actions need.
class BatchHost : public RunHost, public BatchInput, public BatchView {};
