// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options a user may change while a file plays (the window stays live
// between frames), so the frame handler reads them afresh at every frame.
// Called on the thread that runs the file.
class RunOptions {
public:
    virtual ~RunOptions() = default;
    virtual bool inverse() const = 0;            // centre on dark pixels
    virtual bool debayerSafe() const = 0;        // even crop centre
    virtual bool showEffect() const = 0;         // mark background blocks in the preview
    virtual bool removeIncomplete() const = 0;   // drop frames whose window reaches the border
};
