// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/cli_options.h"

// A night: the captures of the folders and files given, in capture-time
// order, the parts of split captures joined (--join auto), each tested and
// processed as a batch of its own into one output folder, which keeps the
// resume file; then the night's report. Returns the exit status.
int RunNight(const CliOptions& options);
