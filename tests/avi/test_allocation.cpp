// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"
#include "tests/avi/avi_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Counts every allocation through operator new of this test program while
// a test has counting switched on.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}   // namespace

void* operator new(std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// GCC cannot tell that these pair with the operator new above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using namespace avitest;

struct AllocationCase {
    bool grey;
    std::int32_t width;   // 10: grey rows that need padding
};

void PrintTo(const AllocationCase& c, std::ostream* os)
{
    *os << (c.grey ? "grey " : "colour ") << c.width;
}

class FrameAllocations : public testing::TestWithParam<AllocationCase> {};

// Also across RIFF switches: the limit puts a few frames in each RIFF.
TEST_P(FrameAllocations, AddingFramesAllocatesNothing)
{
    const AllocationCase c = GetParam();
    constexpr std::int32_t kHeight = 32;
    TempDir dir;
    TAviWriter writer(1920, 1080);
    writer.setFileName(dir.file("a.avi"));
    writer.setWidth(c.width);
    writer.setHeight(kHeight);
    writer.setRiffSizeLimit(12000);
    writer.OpenVideo(c.grey);
    const OutputBitmap bitmap = colourFrame(c.width, kHeight, 0);
    const auto plane = greyPlane(c.width, kHeight, 0);

    g_allocations = 0;
    g_counting = true;
    for (std::int32_t i = 0; i < 200; ++i) {
        if (c.grey)
            writer.AddGrayFrame(bitmap, plane.data(), i);
        else
            writer.AddFrame(bitmap, i);
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    writer.CloseVideo();
    EXPECT_GT(RiffFile(dir.file("a.avi")).riffs().size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Paths, FrameAllocations,
                         testing::Values(AllocationCase{false, 64}, AllocationCase{true, 64},
                                         AllocationCase{true, 10}));

}   // namespace
