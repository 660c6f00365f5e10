// SPDX-License-Identifier: GPL-3.0-or-later
// The steps of a batch file on their own: which outputs a batch refuses, and
// what a file's run comes to in messages and outcome.

#include "run/actions.h"

#include <gtest/gtest.h>

TEST(BatchSteps, AnOutputIsRefusedWhenItWouldReplaceAnInputOrWasClaimed)
{
    const std::vector<std::string> files{"/night/a.avi", "/night/sub/../a_orbic.avi", "/other/a.avi"};
    OutputClaims claimed(files);
    EXPECT_FALSE(OutputRefusal(files[0], "/night/b_orbic.avi", files, claimed));
    // An input under another spelling of its path.
    EXPECT_EQ(OutputRefusal(files[0], "/night/a_orbic.avi", files, claimed).value_or(""),
              "Skipped a.avi: its output a_orbic.avi is one of the chosen input files");
    EXPECT_EQ(OutputRefusal(files[2], "/night/b_orbic.avi", files, claimed).value_or(""),
              "Skipped /other/a.avi: its output /night/b_orbic.avi is already the output of /night/a.avi");
}

TEST(BatchSteps, AFilesMessagesAndOutcomeFollowFromItsRun)
{
    struct Row {
        const char* what;
        FileRunFacts run;
        std::vector<std::string> messages;
        FileOutcome::Status status;
    };
    FileRunFacts written{0, 10, 10, false, false, false, true, false, false, std::nullopt, {}, {}, 0};
    FileRunFacts refused = written;
    refused.outputFailed = true;
    FileRunFacts empty{0, 0, 0, false, false, false, false, false, true, std::nullopt, {}, {}, 0};
    FileRunFacts noPlanet{0, 10, 0, false, false, false, false, false, false, std::nullopt, {}, {}, 0};
    FileRunFacts stoppedMeasuring{0, 4, 0, false, true, true, false, false, false, std::nullopt, {}, {}, 0};
    FileRunFacts failed{kRunFailed, 0, 0, false, false, false, false, false, true, std::nullopt, {}, {}, 0};
    const std::string nothing = "Nothing was written for a.avi.";
    const std::vector<Row> rows{
        {"written", written, {}, FileOutcome::Status::Done},
        {"a frame refused", refused, {}, FileOutcome::Status::Failed},
        {"no frame",
         empty,
         {kNoFrameMessage, nothing + " The older a_orbic.avi is left as it was."},
         FileOutcome::Status::Failed},
        {"no planet",
         noPlanet,
         {std::string("No frame of a.avi was written: ") + kNothingWrittenReason},
         FileOutcome::Status::Failed},
        {"stopped while measuring", stoppedMeasuring, {nothing}, FileOutcome::Status::Stopped},
        {"failed to open",
         failed,
         {"Couldn't load the file!", nothing + " The older a_orbic.avi is left as it was."},
         FileOutcome::Status::Failed},
    };
    for (const Row& row : rows) {
        std::vector<std::string> held;
        if (row.run.result == kRunFailed)
            held.push_back("Couldn't load the file!");
        EXPECT_EQ(FileMessages(held, row.run, "a.avi", "/night/a_orbic.avi"), row.messages) << row.what;
        EXPECT_EQ(FileStatus(row.run), row.status) << row.what;
    }
}
