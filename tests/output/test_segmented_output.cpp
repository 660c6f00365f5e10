// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces cut by time, on an output that writes nothing.

#include "output/segmented_output.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

// An output that takes frames and writes nothing: pieces are counted by the
// names they take.
class NothingOutput final : public BatchOutput {
public:
    void open(const std::string&, std::int32_t, std::int32_t, bool) override { m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    std::string outputPathFor(const std::string&, const std::string&, bool) const override { return {}; }
    void addColorFrame(const OutputBitmap&, std::int32_t) override {}
    void addGrayFrame(const OutputBitmap&, const GrayPlane&, std::int32_t) override {}

private:
    bool m_open = false;
};

}   // namespace

// Times that go back (parts out of order) start a piece of their own: no
// piece spans more than its length.
TEST(SegmentedOutput, APieceNeverSpansMoreThanItsLength)
{
    TempDir dir;
    NothingOutput nothing;
    OutputClaims claims({dir.file("x.avi")});
    SegmentedOutput pieces(nothing, 1.0, claims);
    pieces.setInput(dir.file("x.avi"));
    pieces.open(dir.file("x_orbic.avi"), 8, 8, false);
    const OutputBitmap bitmap;
    std::int32_t index = 0;
    for (const double at : {0.0, 0.5, 1.2, 0.3, 0.4, 1.5}) {
        pieces.nextFrameAt(at, std::nullopt);
        pieces.addColorFrame(bitmap, index++);
    }
    pieces.close();
    EXPECT_EQ(pieces.placedPaths().size(), 4u);
}
