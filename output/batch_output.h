// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_output.h"

#include <cstdint>
#include <string>

// One output file per input of a batch, in the format the shell chose. The
// batch opens it before a file plays and closes it after; in between the frame
// handler adds the frames through the FrameOutput side.
//
// open() replaces an existing file of that name and throws, with the message
// to show, when the file cannot be made. close() makes the file complete and
// valid with every frame added, and throws when it cannot; the output is
// closed afterwards either way.
class BatchOutput : public FrameOutput {
public:
    virtual void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The output file's name for an input, in outputDir (see paths.h).
    virtual std::string outputPathFor(const std::string& inputPath, const std::string& outputDir,
                                      bool grayscale) const = 0;
    // The name the closed file takes in place of the one it was opened
    // under; an output whose name depends on its frames tells it here.
    virtual std::string finalPathFor(const std::string& openedPath) const { return openedPath; }
    // The output is a folder of files rather than one file.
    virtual bool writesFolder() const { return false; }
    // A line for the log about the file just closed; empty when none.
    virtual std::string closingNote() const { return {}; }
    // The output keeps the frames' capture times only when every frame it
    // holds has one (a SER file's trailer), and otherwise none.
    virtual bool timesEveryFrameOrNone() const { return false; }
};
