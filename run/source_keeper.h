// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/file_run.h"

#include <memory>
#include <string>

// Opens the files of a test and of the processing run that follows it at
// once (the command-line tool), and hands the source the test opened to the
// processing of the same file when that source replays as new: a deep SER
// capture's samples are then probed once, and an AVI's header and index read
// once. Only the first source opened is kept, and only until it is reused.
//
// The test's plays are told that the run follows (runFollows), so that a
// decoder can start as the run will want it and keep what the test decodes;
// a tool that only tests says so.
//
// Use it as the opener of both actions through std::ref: copies would keep
// sources of their own.
class SourceKeeper {
public:
    explicit SourceKeeper(SourceOpener open = OpenFrameSource, bool runFollows = true);
    std::unique_ptr<FrameSource> operator()(const std::string& path);

private:
    SourceOpener m_open;
    std::shared_ptr<FrameSource> m_kept;
    std::string m_keptPath;
    bool m_keeping = true;
    bool m_runFollows;
};
