// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Headless Chromium on a page, with a home and a profile of its own in the
// scratch folder; what it printed to stdout.
inline std::string Chromium(const std::vector<std::string>& arguments, const TempDir& scratch)
{
    RequireTool("chromium");
    std::string command = "HOME=" + ShellQuote(scratch.file("home")) + " timeout 120 chromium --headless --no-sandbox"
        + " --disable-gpu --no-first-run --user-data-dir=" + ShellQuote(scratch.file("profile"));
    for (const std::string& a : arguments)
        command += " " + ShellQuote(a);
    const CommandResult r = RunCommand(command, scratch.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}
