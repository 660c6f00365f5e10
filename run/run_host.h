// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/run_options.h"
#include "analysis/run_report.h"

// A shell as one file run sees it: the options it reads while the file plays
// and the reports it makes.
class RunHost : public RunOptions, public RunReport {};
