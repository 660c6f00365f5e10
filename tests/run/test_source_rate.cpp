// SPDX-License-Identifier: GPL-3.0-or-later
// Which witness of a source's own frame rate is believed, in which order.

#include "run/source_rate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Stamps 100 ns apart by the given intervals, from a time of today.
std::vector<std::int64_t> Stamps(std::initializer_list<std::int64_t> intervals)
{
    std::vector<std::int64_t> stamps{638000000000000000};
    for (const std::int64_t interval : intervals)
        stamps.push_back(stamps.back() + interval);
    return stamps;
}

}   // namespace

TEST(SourceFrameRate, StampsThenTheCaptureProgramThenTheStreamThen30)
{
    struct Row {
        std::vector<std::int64_t> stamps;
        std::optional<double> captureProgram;
        double stream;
        double fps;
        RateOrigin origin;
    };
    // 59.94 fps with a dropped frame and a late one: the median keeps the
    // camera's interval, where the average would not.
    const std::vector<std::int64_t> ntsc = Stamps({166833, 166834, 333667, 166833, 200000, 166834, 166833});
    for (const Row& row : {
             Row{ntsc, 25.0, 24.0, 1e7 / 166834, RateOrigin::TimeStamps},
             // An even count: the two middle intervals' mean.
             Row{Stamps({400000, 400002}), std::nullopt, 24.0, 1e7 / 400001, RateOrigin::TimeStamps},
             // A clock that stands still or goes back dates nothing.
             Row{Stamps({400000, 0, 400000}), 25.0, 24.0, 25.0, RateOrigin::CaptureProgram},
             Row{Stamps({400000, -1}), std::nullopt, 24.0, 24.0, RateOrigin::Stream},
             Row{Stamps({}), 0.0, 24.0, 24.0, RateOrigin::Stream},
             Row{{}, std::nullopt, 0.0, 30.0, RateOrigin::Default},
         }) {
        const SourceRate rate = SourceFrameRate(row.stamps, row.captureProgram, row.stream);
        EXPECT_DOUBLE_EQ(rate.fps, row.fps) << row.stamps.size() << " stamps";
        EXPECT_EQ(rate.origin, row.origin) << row.stamps.size() << " stamps";
    }
}
