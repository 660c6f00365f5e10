// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/output_format.h"
#include "avi/avi_writer.h"
#include "output/batch_output.h"

#include <memory>
#include <string>

// The batch output of a format, the one choice both programs make: an AVI
// through aviWriter when given (the window's one writer) or a writer of its
// own, a SER (named after its frames' mid-time with winJuposName), or a
// folder of still images whose files name creator (the program and its
// version).
std::unique_ptr<BatchOutput> MakeOutputFor(OutputFormat format, bool winJuposName, const std::string& creator,
                                           TAviWriter* aviWriter = nullptr);
