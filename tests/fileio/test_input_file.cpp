// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/input_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using orbicrop::fileio::InputFile;

namespace {

std::string text(const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    return std::string(bytes.begin(), bytes.begin() + std::ptrdiff_t(count));
}

}   // namespace

TEST(InputFile, FailureCarriesErrnoAndMissingFileIsNotCreated)
{
    TempDir dir;
    try {
        InputFile::open(dir.file("missing"));
        FAIL() << "opened a missing file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(InputFile, ReadAtLeavesThePositionAndStopsShortOnlyAtTheEnd)
{
    TempDir dir;
    const std::string path = dir.file("text");
    WriteWholeFile(path, "hello world");
    InputFile file = InputFile::open(path);
    EXPECT_EQ(file.size(), 11u);

    std::vector<std::uint8_t> buffer(8);
    ASSERT_EQ(file.readAt(6, buffer), 5u);
    EXPECT_EQ(text(buffer, 5), "world");
    // Sequential reads start where they were, not after the positioned one.
    ASSERT_EQ(file.read(buffer), 8u);
    EXPECT_EQ(text(buffer, 8), "hello wo");
    ASSERT_EQ(file.read(buffer), 3u);
    EXPECT_EQ(file.read(buffer), 0u);

    InputFile moved = std::move(file);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(moved.readAt(0, buffer), 8u);
}

// An open that waited for a pipe's writer could not be stopped: every input
// of the readers is opened through here.
TEST(InputFile, NamedPipeWithoutAWriterOpensAtOnceAndReadsEmpty)
{
    TempDir dir;
    const std::string path = dir.file("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> buffer(8);
        return InputFile::open(path).read(buffer);
    });
    if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // A writer that comes and goes releases the waiting open, so that the test ends.
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        FAIL() << "the open waited for a writer";
    }
    EXPECT_EQ(read.get(), 0u);
}
