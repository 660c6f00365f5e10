// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_result.h"

#include <optional>
#include <string>

// The end-of-batch summary the tool prints on standard error: one line of
// counts, then one line per file (its output, or why it failed); a file that
// ended before its declared frame count says so beside its counts.
std::string BatchSummary(const BatchResult& result);

// The warning for a file of which fewer than half of the frames played (less
// those --keep-best left out) were
// written, since a zero exit status alone would hide it; nothing otherwise.
// A file that wrote nothing at all has already been reported as failed.
std::optional<std::string> LowYieldWarning(const FileOutcome& file);
