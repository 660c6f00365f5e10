// SPDX-License-Identifier: GPL-3.0-or-later
// Every damaged or unusual input ends with its message and the right exit
// status, never a crash or a hang, and a batch goes on past it.

#include "support/bad_inputs.h"
#include "support/decoded_video.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

CommandResult Cli(const std::string& args, const TempDir& dir)
{
    // A hang would show as the status of timeout(1), 124, or 137 when the
    // tool, blocked where its stop cannot reach, outlives the TERM.
    return RunCommand("timeout -k 5 60 " + std::string(ORBICROP_CLI) + " -q -W 32 -H 32 " + args, dir.path());
}

std::string Quoted(const std::vector<std::string>& paths)
{
    std::string out;
    for (const auto& p : paths)
        out += ShellQuote(p) + " ";
    return out;
}

}   // namespace

class BadInputAlone : public testing::TestWithParam<std::size_t> {};

TEST_P(BadInputAlone, EndsWithItsMessageAndStatus)
{
    TempDir dir;
    const BadInput input = BadInputCorpus(ORBICROP_MAKE_SAMPLE)[GetParam()];
    const std::string path = dir.file(input.name);
    input.make(path);
    const auto before = FileBytes(path);

    const auto r = Cli(ShellQuote(path), dir);
    EXPECT_EQ(r.status, input.exitWhenFirst) << input.name << "\n" << r.err;
    if (!input.message.empty()) {
        EXPECT_NE(r.err.find(input.message), std::string::npos) << input.name << ": " << r.err;
    }
    EXPECT_EQ(r.err.find("orbicrop-cli: interrupted"), std::string::npos);
    EXPECT_EQ(FileBytes(path), before) << "the input was changed";
    if (input.exitWhenFirst == 0) {
        std::string output = path.substr(0, path.size() - 4) + "_Y8orbic.avi";
        const auto probe = Probe(output, dir.path());
        EXPECT_EQ(probe.width, 32) << input.name;
        EXPECT_GE(probe.frames, 1) << input.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputAlone, testing::Range<std::size_t>(0, BadInputCorpus("").size()),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                             std::string name;
                             const std::string full = BadInputCorpus("")[info.param].name;
                             for (char c : full)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// A folder is a night's folder of captures, also when it is named like one:
// one without any is a request with nothing to do.
TEST(BadInputAlone, AFolderWithoutCapturesEndsAsAUsageError)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("a folder.avi"));
    const auto r = Cli(ShellQuote(dir.file("a folder.avi")), dir);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("No captures in " + dir.file("a folder.avi")), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("there is no capture to process"), std::string::npos) << r.err;
}

TEST(BadInputBatch, GoesOnPastEveryBadFileAndTouchesNoInput)
{
    TempDir dir;
    SmallClip().write(dir.file("first.avi"), 4);
    SmallClip().write(dir.file("last.avi"), 5);
    std::vector<std::string> paths{dir.file("first.avi")};
    std::vector<std::vector<std::uint8_t>> before;
    const auto corpus = BadInputCorpus(ORBICROP_MAKE_SAMPLE);
    for (const BadInput& input : corpus) {
        input.make(dir.file(input.name));
        paths.push_back(dir.file(input.name));
    }
    paths.push_back(dir.file("last.avi"));
    for (const auto& p : paths)
        before.push_back(FileBytes(p));

    const auto r = Cli(Quoted(paths), dir);
    EXPECT_EQ(r.status, 3) << r.err;
    for (const BadInput& input : corpus) {
        // Messages of the run; the test's warnings do not apply to later files.
        if (input.exitWhenFirst != 0 && input.message.find("COG") == std::string::npos) {
            EXPECT_NE(r.err.find(input.message), std::string::npos) << input.name;
        } else if (input.exitWhenFirst != 0) {
            // Where a test would warn, a batch says that nothing was written.
            EXPECT_NE(r.err.find("No frame of " + input.name + " was written"), std::string::npos) << input.name;
        }
    }
    EXPECT_EQ(Probe(dir.file("first_Y8orbic.avi"), dir.path()).frames, 4);
    EXPECT_EQ(Probe(dir.file("last_Y8orbic.avi"), dir.path()).frames, 5);
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(FileBytes(paths[i]), before[i]) << paths[i] << " was changed";
}
