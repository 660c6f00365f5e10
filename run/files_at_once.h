// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/processing_state.h"
#include "run/actions.h"
#include "run/batch_host.h"
#include "run/batch_result.h"

#include <cstddef>

// The files of a batch, up to jobs of them at once (see the RunProcessAction
// that takes jobs), into summary; the batch's checks before and its log
// after are the caller's. No join.
void RunFilesAtOnce(TProcessingState& state, BatchHost& host, const OutputMaker& makeOutput, std::size_t jobs,
                    const SourceOpener& open, BatchResult& summary);
