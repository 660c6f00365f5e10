// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/run_options.h"
#include "analysis/run_report.h"

#include <string>

// A shell as one file run sees it: the options it reads while the file plays
// and the reports it makes.
class RunHost : public RunOptions, public RunReport {
public:
    // The frames reported from now on come from input, a file of a join
    // (see JoinedSource), until the next call.
    virtual void joinedFileStarted(const std::string& /*input*/) {}
};
