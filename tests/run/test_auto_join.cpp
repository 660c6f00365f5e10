// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the numbered parts of a split capture among the files given: by
// their names, then by what their headers and times say.

#include "run/auto_join.h"

#include "support/ser_writer.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Captures = std::vector<std::vector<std::string>>;

constexpr std::int64_t kStart = 638400000000000000;   // a night in 2024
constexpr double kInterval = 0.01;                    // 100 fps
constexpr std::int64_t kFrames = 100;
constexpr std::int64_t kIntervalTicks = kTicksPerSecond / 100;

std::string PartPath(std::int32_t number)
{
    return "/night/Jupiter_213500_000" + std::to_string(number) + ".ser";
}

// Part number of a 640 x 480 capture of 100 frames a part, each part
// starting one interval after the one before ended.
PartFacts Part(std::int32_t number)
{
    PartFacts part;
    part.path = PartPath(number);
    part.format = "ser";
    part.width = 640;
    part.height = 480;
    part.frames = kFrames;
    part.firstUtc = kStart + (number - 1) * kFrames * kIntervalTicks;
    part.lastUtc = *part.firstUtc + (kFrames - 1) * kIntervalTicks;
    part.frameInterval = kInterval;
    return part;
}

PartFacts Single(const std::string& path)
{
    PartFacts file = Part(1);
    file.path = path;
    return file;
}

}   // namespace

TEST(SplitPartName, ReadsTheCountersCaptureProgramsWriteAndNothingElse)
{
    struct Row {
        const char* path;
        const char* stem;
        std::int32_t number;
        const char* style;
        const char* extension;
    };
    for (const Row& row : {
             Row{"/night/Jupiter_213500_0002.ser", "/night/Jupiter_213500", 2, "_NNNN", "ser"},
             Row{"Mars-1.avi", "Mars", 1, "-N", "avi"},
             Row{"Mars_10.avi", "Mars", 10, "_N", "avi"},
             Row{"Saturn_Part3.SER", "Saturn", 3, "_PartN", "SER"},
             Row{"Saturn part12.ser", "Saturn", 12, " partN", "ser"},
             Row{"Moon (2).mp4", "Moon ", 2, "(N)", "mp4"},
             Row{"Venus.000.ser", "Venus", 0, ".NNN", "ser"},
             Row{"/a.b/Uranus_01", "/a.b/Uranus", 1, "_NN", ""},
         }) {
        const std::optional<PartName> part = SplitPartName(row.path);
        ASSERT_TRUE(part) << row.path;
        EXPECT_EQ(part->stem, row.stem) << row.path;
        EXPECT_EQ(part->number, row.number) << row.path;
        EXPECT_EQ(part->style, row.style) << row.path;
        EXPECT_EQ(part->extension, row.extension) << row.path;
    }
    // A time of day written without padding is no counter, nor are digits
    // run into the name, in a folder's name, or a name of digits alone.
    for (const char* path : {"Jupiter_2135.ser", "Jupiter_213500.ser", "Jupiter.ser", "Jupiter2.ser",
                             "/night_1/Jupiter.ser", "/night/0001.ser", "Jupiter 2).ser"})
        EXPECT_FALSE(SplitPartName(path)) << path;
}

// Parts given out of order, among other files: the set goes in part order,
// at the place of its first part, and every file is there once.
TEST(PlanJoins, JoinsConsecutivePartsInTheirOrderAndKeepsTheOthersInTheirs)
{
    PartFacts unreadable;   // as a file that could not be opened is given
    unreadable.path = "/night/Jupiter_213500_0004.ser";
    unreadable.format = "ser";
    const JoinPlan plan = PlanJoins({Single("/night/Saturn_0001.ser"), Part(2), Single("/night/Mars.ser"), Part(1),
                                     Part(3), unreadable, Single("/night/Saturn_0003.ser")});
    EXPECT_EQ(plan.captures,
              (Captures{{"/night/Saturn_0001.ser"},
                        {"/night/Mars.ser"},
                        {PartPath(1), PartPath(2), PartPath(3)},
                        {"/night/Jupiter_213500_0004.ser"},
                        {"/night/Saturn_0003.ser"}}));
    EXPECT_EQ(plan.log,
              std::vector<std::string>{"Joined as one capture: Jupiter_213500_0001.ser, "
                                       "Jupiter_213500_0002.ser, Jupiter_213500_0003.ser"});
}

// A part that differs ends the set and begins the next: parts 2 and 3 are
// tested against each other, not against part 1.
TEST(PlanJoins, APartThatDiffersIsRefusedWithItsReasonAndStartsTheNextSet)
{
    struct Row {
        std::function<void(PartFacts&)> change;   // made to parts 2 and 3
        const char* reason;
    };
    const auto later = [](std::int64_t ticks) {
        return [ticks](PartFacts& part) {
            *part.firstUtc += ticks;
            *part.lastUtc += ticks;
        };
    };
    for (const Row& row : {
             Row{[](PartFacts& p) {
                     p.width = 800;
                     p.height = 600;
                 },
                 "frame size 800 x 600, not 640 x 480"},
             Row{[](PartFacts& p) { p.depth = 12; }, "depth 12 bits, not 8 bits"},
             Row{[](PartFacts& p) { p.colour = 8; }, "colour differs"},
             Row{[](PartFacts& p) { p.format = "avi"; }, "format avi, not ser"},
             Row{later(124 * kTicksPerSecond / 10), "starts 12.4 s after the last part ended"},
             // Two intervals after the last frame is a dropped frame; three is a gap.
             Row{later(2 * kIntervalTicks), "starts 0.030 s after the last part ended"},
             Row{later(-5 * kIntervalTicks), "starts before the last part ended"},
         }) {
        std::vector<PartFacts> parts{Part(1), Part(2), Part(3)};
        row.change(parts[1]);
        row.change(parts[2]);
        const JoinPlan plan = PlanJoins(parts);
        EXPECT_EQ(plan.captures, (Captures{{PartPath(1)}, {PartPath(2), PartPath(3)}})) << row.reason;
        EXPECT_EQ(
            plan.log,
            (std::vector<std::string>{"Not joined: Jupiter_213500_0002.ser after Jupiter_213500_0001.ser ("
                                          + std::string(row.reason) + ")",
                                      "Joined as one capture: Jupiter_213500_0002.ser, Jupiter_213500_0003.ser"}));
    }
}

// Without a frame interval the allowance comes from the earlier part's
// own times, and without those it is two seconds.
TEST(PlanJoins, TheAllowanceFallsBackToThePartsTimesThenTwoSeconds)
{
    std::vector<PartFacts> parts{Part(1), Part(2)};
    parts[0].frameInterval.reset();
    *parts[1].firstUtc += 2 * kIntervalTicks;
    EXPECT_EQ(PlanJoins(parts).captures.size(), 2U);
    parts[0].frames = 1;
    EXPECT_EQ(PlanJoins(parts).captures.size(), 1U);
    *parts[1].firstUtc += 2 * kTicksPerSecond;
    EXPECT_EQ(PlanJoins(parts).log.back(),
              "Not joined: Jupiter_213500_0002.ser after Jupiter_213500_0001.ser "
              "(starts 2.03 s after the last part ended)");
}

// Files without times join on their names and headers alone, and the log
// says so; a missing number ends the set without a word.
TEST(PlanJoins, PartsWithoutTimesJoinAndSaySoAndAGapInTheNumbersEndsTheSet)
{
    std::vector<PartFacts> parts{Part(1), Part(2), Part(4), Part(5)};
    for (PartFacts& part : parts) {
        part.firstUtc.reset();
        part.lastUtc.reset();
    }
    parts[3].firstUtc = kStart;   // one side's time alone tells nothing
    const JoinPlan plan = PlanJoins(parts);
    EXPECT_EQ(plan.captures, (Captures{{PartPath(1), PartPath(2)}, {PartPath(4), PartPath(5)}}));
    EXPECT_EQ(plan.log,
              (std::vector<std::string>{
                  "Joined as one capture: Jupiter_213500_0001.ser, Jupiter_213500_0002.ser (times unknown)",
                  "Joined as one capture: Jupiter_213500_0004.ser, Jupiter_213500_0005.ser (times unknown)"}));
}

// Two parts of a 12-bit colour capture written by the project's SER writer,
// read through the run's own readers, are found to be one capture.
TEST(ReadPartFacts, ReadsSizeSamplesAndTheStampsOfRealSerFiles)
{
    TempDir dir;
    const auto write = [&](const std::string& name, std::int64_t first, bool stamped) {
        SerClip clip;
        clip.colourId = 8;   // RGGB
        clip.width = 6;
        clip.height = 4;
        clip.depth = 12;
        for (std::int64_t f = 0; f < 5; ++f) {
            clip.addFrame([f](std::int32_t x, std::int32_t y, std::int32_t) { return 100 * (x + y) + f; });
            if (stamped)
                clip.timestamps.push_back(first + f * 2 * kIntervalTicks);
        }
        return dir.write(name, clip.bytes());
    };
    const std::string first = write("Mars_0001.ser", kStart, true);
    const std::string second = write("Mars_0002.ser", kStart + 5 * 2 * kIntervalTicks, true);
    const PartFacts facts = ReadPartFacts(first);
    EXPECT_EQ(facts.format, "ser");
    EXPECT_EQ(facts.width, 6);
    EXPECT_EQ(facts.height, 4);
    EXPECT_EQ(facts.depth, 12);
    EXPECT_EQ(facts.colour, 8);
    EXPECT_EQ(facts.frames, 5);
    EXPECT_EQ(facts.firstUtc, kStart);
    EXPECT_EQ(facts.lastUtc, kStart + 4 * 2 * kIntervalTicks);
    ASSERT_TRUE(facts.frameInterval);
    EXPECT_NEAR(*facts.frameInterval, 0.02, 1e-9);
    EXPECT_EQ(PlanJoins({facts, ReadPartFacts(second)}).captures, (Captures{{first, second}}));

    const PartFacts unstamped = ReadPartFacts(write("Mars_0003.ser", 0, false));
    EXPECT_EQ(unstamped.frames, 5);
    EXPECT_FALSE(unstamped.firstUtc || unstamped.lastUtc || unstamped.frameInterval);

    const PartFacts missing = ReadPartFacts(dir.file("Mars_0004.SER"));
    EXPECT_EQ(missing.format, "ser");
    EXPECT_EQ(missing.width, 0);
    EXPECT_EQ(missing.frames, 0);
}
