// SPDX-License-Identifier: GPL-3.0-or-later
// The test and process actions with synthetic sources: what the shells see,
// and what lands on disk.

#include "run/actions.h"

#include "avi/avi_writer.h"
#include "output/avi_output.h"
#include "output/paths.h"
#include "output/staged_output.h"
#include "run/source_keeper.h"
#include "support/decoded_video.h"
#include "support/recording_host.h"
#include "support/subprocess.h"
#include "support/synthetic_source.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Clip {
    std::int32_t frames = 10;
    std::function<void(std::int32_t, double&, double&)> path = [](std::int32_t, double& x, double& y) {
        x = 31.5;
        y = 23.5;
    };
    std::uint8_t red = 200;
    bool grayFrames = false;
    std::int32_t failAtFrame = -1;   // the source throws before this frame
    std::int32_t declared = 0;       // frames its header claims, when not `frames`
    bool replaysAsNew = false;
};

struct Bench {
    TempDir dir;
    TProcessingState state;
    RecordingHost host;
    TAviWriter writer{0, 0};
    AviOutput output{writer};
    std::map<std::string, Clip> clips;   // by file name

    Bench()
    {
        state.blockSize = kBlockSize;
        host.chosen.widthPosition = 2;
        host.chosen.heightPosition = 2;
        // The mode is the host's; the automatic choice has tests of its own.
        host.chosen.autoColor = false;
        UpdateCropSize(state, 2, 2);
    }

    std::string add(const std::string& name, Clip clip = {})
    {
        clips[name] = clip;
        host.chosenFiles.push_back(dir.file(name));
        return dir.file(name);
    }

    SourceOpener opener()
    {
        return [this](const std::string& path) -> std::unique_ptr<FrameSource> {
            const auto it = clips.find(std::filesystem::path(path).filename().string());
            if (it == clips.end())
                throw FrameSourceError(SourceFailure::Load);
            const Clip clip = it->second;
            SyntheticSource::Options options;
            options.frames = clip.frames;
            options.frameRate = 25;
            options.grayFrames = clip.grayFrames;
            options.replaysAsNew = clip.replaysAsNew;
            if (clip.declared > 0)
                options.length = clip.declared / options.frameRate;
            return std::make_unique<SyntheticSource>(options, [clip](std::int32_t i, std::uint8_t* frame) {
                if (i == clip.failAtFrame)
                    throw std::runtime_error("interrupted");
                double x = 0, y = 0;
                clip.path(i, x, y);
                PaintDisc(frame, 64, 48, x, y, 6, 200, 200, clip.red);
            });
        };
    }

    bool test() { return RunTestAction(state, host, opener()); }
    BatchResult process() { return RunProcessAction(state, host, output, opener()); }
};

}   // namespace

TEST(Actions, TestWithoutFilesDoesNothing)
{
    Bench b;
    b.host.log.push_back("kept");
    EXPECT_FALSE(b.test());
    EXPECT_EQ(b.host.log.size(), 1u);
}

TEST(Actions, PassingTestTakesItsSettingsFromTheFirstFile)
{
    Bench b;
    b.add("first.avi");
    b.add("second.avi");
    b.host.chosen.thresholdPosition = -7;
    b.state.colorDetected = true;
    b.state.cogValid = false;
    b.host.log.push_back("old line");
    ASSERT_TRUE(b.test());
    EXPECT_EQ(b.state.currentFile, b.dir.file("first.avi"));
    EXPECT_EQ(b.state.outputDir, b.dir.path() + "/");
    EXPECT_EQ(b.state.thresholdPercent, -7.0);
    EXPECT_EQ(b.state.frameLimit, 2);
    EXPECT_EQ(b.host.log.size(), 3u);   // cleared first
    EXPECT_TRUE(b.host.processEnabled);
    EXPECT_EQ(b.host.passedWidth, 33);
    EXPECT_EQ(b.host.passedHeight, 33);
    EXPECT_FALSE(b.state.colorDetected);   // grey clip, flag reset by the test
}

TEST(Actions, FailedOrRefusedTestDisablesProcessing)
{
    Bench b;
    b.add("sky.avi", Clip{10, [](std::int32_t, double& x, double& y) {
                              x = -100;
                              y = -100;
                          }});
    b.host.processEnabled = true;
    EXPECT_FALSE(b.test());
    EXPECT_FALSE(b.host.processEnabled);

    Bench busy;
    busy.add("planet.avi");
    busy.state.busy = true;
    busy.host.processEnabled = true;
    EXPECT_FALSE(busy.test());
    EXPECT_FALSE(busy.host.processEnabled);
    EXPECT_TRUE(busy.state.cogValid);   // flags reset even though the run was refused
}

TEST(Actions, TestGoesOnPastFilesThatDoNotOpenAndTheBatchStillTriesThem)
{
    Bench b;
    b.host.chosenFiles.push_back(b.dir.file("gone.avi"));
    b.add("good.avi", Clip{4});
    ASSERT_TRUE(b.test());
    EXPECT_EQ(b.state.currentFile, b.dir.file("good.avi"));
    EXPECT_TRUE(b.host.messages.empty());
    EXPECT_EQ(b.host.log,
              (std::vector<std::string>{
                  "Opening file gone.avi",
                  "gone.avi could not be opened (The file does not exist!); the test goes on with the next file",
                  "Opening file good.avi", " - 4 frames", " - Input res 64 x 48"}));
    const BatchResult result = b.process();
    EXPECT_EQ(result.completed, 1);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(b.host.messages,
              (std::vector<std::string>{"The file does not exist!\nNothing was written for gone.avi."}));
    EXPECT_EQ(Probe(b.dir.file("good_orbic.avi"), b.dir.path()).frames, 4);
    EXPECT_EQ(b.host.statusHistory.back(), "2:Completed with 1 failed file");

    // When no file opens, the last one's failure is the test's.
    Bench none;
    none.host.chosenFiles = {none.dir.file("a.avi"), none.dir.file("b.avi")};
    none.host.processEnabled = true;
    EXPECT_FALSE(none.test());
    EXPECT_EQ(none.host.messages, (std::vector<std::string>{"The file does not exist!"}));
    EXPECT_EQ(none.state.currentFile, none.dir.file("b.avi"));
    EXPECT_FALSE(none.host.processEnabled);
}

TEST(Actions, BatchEndCountsTheFilesThatFailed)
{
    Bench b;
    b.host.chosenFiles = {b.dir.file("gone.avi"), b.dir.file("lost.avi")};
    b.add("good.avi", Clip{4});
    ASSERT_TRUE(b.test());
    EXPECT_EQ(b.process().failed, 2);
    EXPECT_EQ(b.host.statusHistory.back(), "2:Completed with 2 failed files");
}

TEST(Actions, TestOfAFileWithoutFramesFails)
{
    Bench b;
    b.add("empty.avi", Clip{0});
    EXPECT_FALSE(b.test());
    EXPECT_EQ(b.host.messages, (std::vector<std::string>{kNoFrameMessage}));
    EXPECT_FALSE(b.host.processEnabled);
}

TEST(Actions, BatchWritesEveryFileWithStatusAndLog)
{
    Bench b;
    b.add("a.avi", Clip{5});
    b.add("b.avi", Clip{7});
    b.add("c.mpeg", Clip{3});
    ASSERT_TRUE(b.test());
    b.host.statusHistory.clear();
    const BatchResult result = b.process();
    EXPECT_EQ(result.completed, 3);
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(
        b.host.statusHistory,
        (std::vector<std::string>{"0:File 1/3", "1:a.avi", "2:Processing...", "0:File 2/3", "1:b.avi",
                                  "2:Processing...", "0:File 3/3", "1:c.mpeg", "2:Processing...", "2:Completed!"}));
    EXPECT_EQ(b.host.log.size(), 25u);
    EXPECT_EQ(b.host.log[7], "Output: " + b.dir.file("a_orbic.avi"));
    EXPECT_EQ(b.host.log.back(), "Outputs written to " + b.dir.path() + "/");
    EXPECT_EQ(b.host.log[4], "5/5 frames written");
    EXPECT_EQ(b.host.log[6], "Orbicropping complete!");
    EXPECT_TRUE(b.host.controlsEnabled);
    EXPECT_EQ(Probe(b.dir.file("a_orbic.avi"), b.dir.path()).frames, 5);
    EXPECT_EQ(Probe(b.dir.file("b_orbic.avi"), b.dir.path()).frames, 7);
    EXPECT_EQ(Probe(b.dir.file("c._orbic.avi"), b.dir.path()).frames, 3);
    EXPECT_EQ(b.host.progress, 3);   // the last file's gauge filled
}

TEST(Actions, GreyscaleBatchReplacesAnExistingOutput)
{
    Bench b;
    b.add("moon.avi", Clip{4});
    b.host.chosen.grayscale = true;
    {
        std::ofstream old(b.dir.file("moon_Y8orbic.avi"));
        old << "an older output";
    }
    ASSERT_TRUE(b.test());
    b.process();
    const auto probe = Probe(b.dir.file("moon_Y8orbic.avi"), b.dir.path());
    EXPECT_EQ(probe.frames, 4);
    EXPECT_EQ(probe.pixelFormat, "gray");
}

TEST(Actions, ProcessAfterALostPlanetOnlyClearsTheLog)
{
    Bench b;
    b.add("a.avi");
    b.state.cogValid = false;
    b.state.cropValid = true;
    b.host.log.push_back("x");
    const BatchResult result = b.process();
    EXPECT_FALSE(result.started);
    EXPECT_TRUE(b.host.log.empty());
    EXPECT_FALSE(std::filesystem::exists(b.dir.file("a_orbic.avi")));
}

TEST(Actions, FramesWithoutPlanetOrAtTheEdgeAreNotWritten)
{
    Bench b;
    // Frames 3 and 4 have no planet; frames 7 and 8 sit at the left edge.
    b.add("gaps.avi", Clip{10, [](std::int32_t f, double& x, double& y) {
                               x = (f == 3 || f == 4) ? -100 : (f == 7 || f == 8) ? 3.5 : 31.5;
                               y = 23.5;
                           }});
    b.host.optRemoveIncomplete = true;
    ASSERT_TRUE(b.test());
    b.process();
    EXPECT_EQ(b.state.framesWritten, 6);
    EXPECT_EQ(b.host.progress, 10);
    EXPECT_EQ(b.host.progressMax, 10);
    EXPECT_FALSE(b.state.cogValid);
    EXPECT_EQ(Probe(b.dir.file("gaps_orbic.avi"), b.dir.path()).frames, 6);
    std::vector<FrameRecord::Outcome> outcomes;
    for (const auto& f : b.host.frames)
        if (f.outcome != FrameRecord::Outcome::Analysed)
            outcomes.push_back(f.outcome);
    using O = FrameRecord::Outcome;
    EXPECT_EQ(outcomes,
              (std::vector<O>{O::Written, O::Written, O::Written, O::NoPlanet, O::NoPlanet, O::Written, O::Written,
                              O::Incomplete, O::Incomplete, O::Written}));
}

// What the summary and the report of a shell are made of.
TEST(Actions, BatchResultCountsEachFilesFramesByOutcome)
{
    Bench b;
    b.add("gaps.avi", Clip{10, [](std::int32_t f, double& x, double& y) {
                               x = f == 3 ? -100 : (f == 7 || f == 8) ? 3.5 : 31.5;
                               y = 23.5;
                           }});
    b.add("missing.avi");
    b.clips.erase("missing.avi");
    b.host.optRemoveIncomplete = true;
    ASSERT_TRUE(b.test());
    const BatchResult result = b.process();
    ASSERT_EQ(result.files.size(), 2u);
    const FileOutcome& gaps = result.files[0];
    EXPECT_EQ(gaps.status, FileOutcome::Status::Done);
    EXPECT_EQ(gaps.output, b.dir.file("gaps_orbic.avi"));
    EXPECT_TRUE(gaps.outputPlaced);
    EXPECT_EQ(gaps.framesSeen, 10);
    EXPECT_EQ(gaps.framesWritten, 7);
    EXPECT_EQ(gaps.noPlanet, 1);
    EXPECT_EQ(gaps.incomplete, 2);
    EXPECT_EQ(gaps.notWritten, 0);
    EXPECT_EQ(gaps.firstTime, 0.0);
    EXPECT_DOUBLE_EQ(gaps.lastTime.value_or(-1), 9 / 25.0);
    const FileOutcome& missing = result.files[1];
    EXPECT_EQ(missing.status, FileOutcome::Status::Failed);
    EXPECT_FALSE(missing.outputPlaced);
    EXPECT_FALSE(missing.video.has_value());
    EXPECT_EQ(missing.reason, "The file does not exist!\nNothing was written for missing.avi.");
}

// A stop asked for while a frame is handled ends that file after it, with a
// valid output of the frames so far, and no other file runs.
TEST(Actions, FileThatEndsBeforeItsDeclaredFramesIsDoneAndToldSo)
{
    Bench b;
    b.add("cut.avi", Clip{.frames = 5, .declared = 12});
    b.add("whole.avi", Clip{.frames = 12});
    ASSERT_TRUE(b.test());
    const BatchResult result = b.process();
    EXPECT_EQ(result.completed, 2);
    EXPECT_TRUE(b.host.messages.empty());
    EXPECT_TRUE(result.files[0].endedEarly);
    EXPECT_FALSE(result.files[1].endedEarly);
    const std::string line = " - The file ended after 5 of its 12 frames";
    EXPECT_EQ(std::count(b.host.log.begin(), b.host.log.end(), line), 1);
    EXPECT_EQ(b.host.log[3], line);   // the first file's, after its input lines
}

TEST(Actions, StopEndsTheFileAfterTheFrameInHandAndSkipsTheRest)
{
    Bench b;
    b.add("a.avi", Clip{10});
    b.add("b.avi", Clip{5});
    b.add("c.avi", Clip{5});
    ASSERT_TRUE(b.test());
    b.host.eventsPumped = 0;
    b.host.onEvents = [&b](std::int32_t events) {
        if (events == 3)
            b.state.stopRequested = true;
    };
    const BatchResult result = b.process();
    EXPECT_TRUE(result.stopped);
    ASSERT_EQ(result.files.size(), 3u);
    EXPECT_EQ(result.files[0].status, FileOutcome::Status::Stopped);
    EXPECT_EQ(result.files[0].framesSeen, 3);
    EXPECT_EQ(result.files[1].status, FileOutcome::Status::NotRun);
    EXPECT_EQ(result.files[2].status, FileOutcome::Status::NotRun);
    EXPECT_EQ(Probe(b.dir.file("a_orbic.avi"), b.dir.path()).frames, 3);
    EXPECT_FALSE(std::filesystem::exists(b.dir.file("b_orbic.avi")));
    EXPECT_EQ(std::count(b.host.log.begin(), b.host.log.end(), "Orbicropping stopped!"), 1);
    EXPECT_EQ(std::count(b.host.log.begin(), b.host.log.end(), "Stopped by the user; 2 files were not processed"), 1);
    EXPECT_TRUE(b.host.messages.empty());
    EXPECT_EQ(b.host.statusText[2], "Stopped");
    EXPECT_EQ(b.host.progress, 3);   // of 10: where the stop left the gauge
    EXPECT_TRUE(b.host.controlsEnabled);
    // The next test is not cut short by the stop that ended the batch.
    b.host.onEvents = nullptr;
    EXPECT_TRUE(b.test());
}

TEST(Actions, OutputThatWouldReplaceAnInputIsSkipped)
{
    Bench b;
    b.add("jup.avi", Clip{3});
    const std::string victim = b.add("jup_orbic.avi", Clip{4});
    {
        std::ofstream keep(victim);
        keep << "the user's own file";
    }
    ASSERT_TRUE(b.test());
    const BatchResult result = b.process();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.completed, 1);
    ASSERT_EQ(b.host.messages.size(), 1u);
    EXPECT_EQ(b.host.messages[0], "Skipped jup.avi: its output jup_orbic.avi is one of the chosen input files");
    std::ifstream in(victim);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "the user's own file");
    EXPECT_EQ(Probe(b.dir.file("jup_orbic_orbic.avi"), b.dir.path()).frames, 4);
}

// The error passes through, naming the file and why; the shell gets its
// controls back and a status that tells the batch failed.
TEST(Actions, UnopenableOutputEndsTheBatch)
{
    Bench b;
    b.add("a.avi");
    b.add("b.avi");
    ASSERT_TRUE(b.test());
    b.state.outputDir = b.dir.file("no-such-dir") + "/";
    std::string error;
    try {
        b.process();
    } catch (const AviError& e) {
        error = e.what();
    }
    EXPECT_EQ(error,
              "Failed to create AVI video work file "
                  + StagedOutput::TemporaryPathFor(b.dir.file("no-such-dir/a_orbic.avi"))
                  + ": No such file or directory");
    EXPECT_EQ(b.host.statusText[2], "Failed");
    EXPECT_TRUE(b.host.controlsEnabled);
    EXPECT_FALSE(b.writer.isOpen());
}

// A rerun that fails (here the disk fills) never takes the place of the
// complete output of an earlier run: its frames stay beside it, and the
// message says where.
TEST(Actions, AFailedRerunLeavesTheOlderOutputWhole)
{
    Bench b;
    b.add("long.avi", Clip{200});
    ASSERT_TRUE(b.test());
    ASSERT_EQ(b.process().completed, 1);
    const std::string message = InChildWithFileSizeLimit(200 * 1024, [&b] {
        const BatchResult result = b.process();
        return result.failed == 1 && b.host.messages.size() == 1 ? b.host.messages[0] : std::string("wrong outcome");
    });
    EXPECT_NE(message.find("The run failed, so it did not replace the older long_orbic.avi; its "), std::string::npos)
        << message;
    EXPECT_NE(message.find(" frames are kept in long_orbic-incomplete.avi"), std::string::npos) << message;
    EXPECT_EQ(Probe(b.dir.file("long_orbic.avi"), b.dir.path()).frames, 200);
    const auto kept = Probe(b.dir.file("long_orbic-incomplete.avi"), b.dir.path());
    EXPECT_GT(kept.frames, 10);
    EXPECT_LT(kept.frames, 200);
}

TEST(Actions, RefusedWriteStopsThatFileOnlyAndKeepsItsFrames)
{
    // A file-size limit in a child process: the first output hits it, the
    // second is small enough to fit.
    Bench b;
    b.add("long.avi", Clip{200});
    b.add("short.avi", Clip{3});
    ASSERT_TRUE(b.test());
    const std::string outcome = InChildWithFileSizeLimit(200 * 1024, [&b] {
        const BatchResult result = b.process();
        const bool ok = result.completed == 1 && result.failed == 1 && b.host.messages.size() == 1
            && b.host.messages[0].rfind("Failed to add frame to AVI file ", 0) == 0;
        // Each file's last line must agree with what the batch made of it.
        std::string ends;
        for (const std::string& line : b.host.log)
            if (line.rfind("Orbicropping ", 0) == 0)
                ends += " / " + line;
        return std::string(ok ? "ok" : "wrong outcome") + ends;
    });
    EXPECT_EQ(outcome, "ok / Orbicropping failed! / Orbicropping complete!");
    const auto longOut = Probe(b.dir.file("long_orbic.avi"), b.dir.path());
    EXPECT_GT(longOut.frames, 10);
    EXPECT_LT(longOut.frames, 200);
    EXPECT_EQ(longOut.width, 32);
    EXPECT_EQ(Probe(b.dir.file("short_orbic.avi"), b.dir.path()).frames, 3);
}

TEST(Actions, GreyFramesGiveTheSameOutputAsTheirColourExpansion)
{
    // The same wandering grey planet delivered as 24-bit frames and as grey
    // planes: every written byte, the frame count and the track agree.
    auto path = [](std::int32_t f, double& x, double& y) {
        x = 20.3 + 2.7 * f;
        y = 13.9 + 1.3 * f;
    };
    for (bool y8 : {false, true}) {
        Bench expanded, direct;
        Clip a{12, path, 200, false};
        Clip b{12, path, 200, true};
        expanded.add("p.avi", a);
        direct.add("p.avi", b);
        for (Bench* bench : {&expanded, &direct}) {
            bench->host.chosen.grayscale = y8;
            bench->host.optRemoveIncomplete = true;
            ASSERT_TRUE(bench->test());
            bench->process();
        }
        const std::string name = y8 ? "p_Y8orbic.avi" : "p_orbic.avi";
        const std::string format = y8 ? "gray" : "bgr24";
        const auto one = DecodeWithFfmpeg(expanded.dir.file(name), format, expanded.dir.path());
        ASSERT_FALSE(one.empty());
        EXPECT_EQ(one, DecodeWithFfmpeg(direct.dir.file(name), format, direct.dir.path()));
        ASSERT_EQ(expanded.host.frames.size(), direct.host.frames.size());
        for (std::size_t i = 0; i < expanded.host.frames.size(); ++i) {
            EXPECT_EQ(expanded.host.frames[i].centerX, direct.host.frames[i].centerX);
            EXPECT_EQ(expanded.host.frames[i].centerY, direct.host.frames[i].centerY);
            EXPECT_EQ(int(expanded.host.frames[i].outcome), int(direct.host.frames[i].outcome));
        }
        EXPECT_FALSE(direct.state.colorDetected);
    }
}

TEST(Actions, FirstTestAfterOpeningChoosesTheOutputModeAndDerivesTheSize)
{
    Bench b;
    Clip colour;
    colour.red = 90;
    b.add("colour.avi", colour);
    b.host.chosen.widthPosition = 3;
    b.host.chosen.autoColor = true;
    b.state.autoColorPending = true;
    ASSERT_TRUE(b.test());
    EXPECT_EQ(b.state.cropWidth, 48);
    EXPECT_EQ(b.host.cropSizeUpdates, 1);
    EXPECT_EQ(b.host.modesSelected, (std::vector<bool>{true}));
    EXPECT_FALSE(b.state.autoColorPending);
    b.test();   // no second choice until files are opened again
    EXPECT_EQ(b.host.modesSelected.size(), 1u);

    Bench g;   // grey frames choose greyscale
    g.add("grey.avi");
    g.host.chosen.autoColor = true;
    g.state.autoColorPending = true;
    ASSERT_TRUE(g.test());
    EXPECT_EQ(g.host.modesSelected, (std::vector<bool>{false}));

    Bench h;   // automatic choice switched off
    h.add("grey.avi");
    h.state.autoColorPending = true;
    h.host.chosen.autoColor = false;
    ASSERT_TRUE(h.test());
    EXPECT_TRUE(h.host.modesSelected.empty());
    EXPECT_TRUE(h.state.autoColorPending);
}

TEST(Actions, SecondInputWithTheSameOutputIsSkipped)
{
    Bench b;
    b.add("jup.avi", Clip{3});
    b.add("jup.ser", Clip{5});
    b.add("io.avi", Clip{2});
    ASSERT_TRUE(b.test());
    const BatchResult result = b.process();
    EXPECT_EQ(result.completed, 2);
    EXPECT_EQ(result.failed, 1);
    const std::string expected = "Skipped " + b.dir.file("jup.ser") + ": its output " + b.dir.file("jup_orbic.avi")
        + " is already the output of " + b.dir.file("jup.avi");
    EXPECT_EQ(b.host.messages, (std::vector<std::string>{expected}));
    EXPECT_NE(std::find(b.host.log.begin(), b.host.log.end(), expected), b.host.log.end());
    EXPECT_EQ(Probe(b.dir.file("jup_orbic.avi"), b.dir.path()).frames, 3);
    EXPECT_EQ(Probe(b.dir.file("io_orbic.avi"), b.dir.path()).frames, 2);
}

TEST(Actions, OutputIsReplacedOnlyByARunThatWroteFrames)
{
    Bench b;
    b.add("good.avi", Clip{4});
    b.host.chosenFiles.push_back(b.dir.file("bad.avi"));   // cannot be loaded
    std::ofstream(b.dir.file("bad.avi")) << "no video";
    const std::string older = b.dir.file("bad_orbic.avi");
    std::ofstream(older) << "yesterday's result";
    // Leftovers of crashed runs, this process id's among them.
    std::ofstream(b.dir.file(".good_orbic.avi.partial-1")) << "stale";
    std::ofstream(StagedOutput::TemporaryPathFor(b.dir.file("good_orbic.avi"))) << "stale";
    ASSERT_TRUE(b.test());
    const BatchResult result = b.process();
    EXPECT_EQ(result.completed, 1);
    EXPECT_EQ(result.failed, 1);
    std::string kept;
    std::getline(std::ifstream(older), kept);
    EXPECT_EQ(kept, "yesterday's result");
    const std::string message = "Couldn't load the file!\nNothing was written for bad.avi. "
                                "The older bad_orbic.avi is left as it was.";
    EXPECT_EQ(b.host.messages, (std::vector<std::string>{message}));
    EXPECT_EQ(b.host.log.end()[-2], message);   // before the folder of the outputs
    EXPECT_EQ(Probe(b.dir.file("good_orbic.avi"), b.dir.path()).frames, 4);
    EXPECT_FALSE(std::filesystem::exists(StagedOutput::TemporaryPathFor(b.dir.file("good_orbic.avi"))));
    EXPECT_FALSE(std::filesystem::exists(StagedOutput::TemporaryPathFor(older)));

    // A run that fails part-way (an error passing through) keeps its frames
    // under a visible name beside the older output, which it leaves whole.
    Clip cut{10};
    cut.failAtFrame = 6;
    b.clips["good.avi"] = cut;
    EXPECT_THROW(b.process(), std::runtime_error);
    EXPECT_EQ(Probe(b.dir.file("good_orbic.avi"), b.dir.path()).frames, 4);
    EXPECT_EQ(Probe(b.dir.file("good_orbic-incomplete.avi"), b.dir.path()).frames, 6);
    EXPECT_FALSE(std::filesystem::exists(StagedOutput::TemporaryPathFor(b.dir.file("good_orbic.avi"))));
}

// The test's source serves the processing of the same file only when it
// replays as new; either way every file is written whole.
// A leftover is a temporary output that no run holds a lock on, whatever
// process id its name gives: a live run may have ours in another namespace.
TEST(Actions, OpeningAnOutputRemovesTheLeftoversThatNoRunHolds)
{
    Bench b;
    b.add("jup.avi", Clip{3});
    const auto leftover = [&b](const std::string& name) {
        std::ofstream(b.dir.file(name)) << "stale";
        return b.dir.file(name);
    };
    const std::string crashed = leftover(".jup_orbic.avi.partial-" + std::to_string(::getppid()));
    const std::string ours = leftover(FileNameOf(StagedOutput::TemporaryPathFor("jup_orbic.avi")));
    const std::string running = leftover(".jup_orbic.avi.partial-1.2");
    const std::string unparsed = leftover(".jup_orbic.avi.partial-17x");
    const std::string otherOutput = leftover(".io_orbic.avi.partial-17");
    const int held = ::open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(b.test());
    EXPECT_EQ(b.process().completed, 1);
    EXPECT_FALSE(std::filesystem::exists(crashed));
    EXPECT_FALSE(std::filesystem::exists(ours));
    EXPECT_TRUE(std::filesystem::exists(running));
    EXPECT_TRUE(std::filesystem::exists(unparsed));
    EXPECT_TRUE(std::filesystem::exists(otherOutput));
    ::close(held);
}

TEST(Actions, ProcessingReusesTheTestsSourceOnlyWhenItReplaysAsNew)
{
    for (const bool replays : {true, false}) {
        Bench b;
        b.add("a.avi", Clip{.frames = 6, .replaysAsNew = replays});
        b.add("b.avi", Clip{.frames = 4, .replaysAsNew = replays});
        int opens = 0;
        SourceKeeper keeper([&, open = b.opener()](const std::string& path) {
            ++opens;
            return open(path);
        });
        ASSERT_TRUE(RunTestAction(b.state, b.host, std::ref(keeper)));
        const BatchResult result = RunProcessAction(b.state, b.host, b.output, std::ref(keeper));
        EXPECT_EQ(result.completed, 2);
        EXPECT_EQ(opens, replays ? 2 : 3);
        EXPECT_EQ(Probe(b.dir.file("a_orbic.avi"), b.dir.path()).frames, 6);
        EXPECT_EQ(Probe(b.dir.file("b_orbic.avi"), b.dir.path()).frames, 4);
    }
}
