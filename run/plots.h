// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/run_report.h"
#include "image/output_bitmap.h"

#include <cstdint>
#include <vector>

// What one file's plots are drawn from, gathered while it is processed:
// where the planet stood in every frame and what became of the frame, and
// the quality scores when a ranked run hands them. A frame takes 12 bytes,
// so that the longest captures are held without a thought.
class PlotData {
public:
    struct Frame {
        // Picture coordinates (x from the left, y from the top, as the track
        // has them); not a number when no planet was found.
        float x;
        float y;
        FrameRecord::Outcome outcome;
    };

    // A processing run's frame. A test's frames (Analysed) are left out: the
    // processing run plays them again. inputHeight turns the analysis's rows,
    // counted from the bottom, into picture rows.
    void addFrame(const FrameRecord& record, std::int32_t inputHeight);
    void setScores(std::vector<double> sortedScores, std::int32_t kept);
    // For the next file.
    void clear();

    // By frame number; a frame never reported stays Analysed.
    const std::vector<Frame>& frames() const { return m_frames; }
    const std::vector<double>& sortedScores() const { return m_scores; }
    std::int32_t kept() const { return m_kept; }

private:
    std::vector<Frame> m_frames;
    std::vector<double> m_scores;
    std::int32_t m_kept = 0;
};

// The plots are drawn on white, 640 x 360, their text large enough to read
// at half that size, as the window shows them.
struct PlotInk {
    std::uint8_t blue, green, red;
};
inline constexpr PlotInk kDriftXInk{200, 90, 20};
inline constexpr PlotInk kDriftYInk{40, 150, 30};
// The same, a third as strong on white: the spread of a column's frames.
inline constexpr PlotInk kDriftXBandInk{237, 200, 177};
inline constexpr PlotInk kDriftYBandInk{183, 220, 180};

// Each reason a frame is dropped for has its own ink, apart from the
// curves' and from each other's; Written and Analysed have the paper's.
PlotInk OutcomeInk(FrameRecord::Outcome outcome);

// The curve users read to choose how many frames to keep, titled, its axes
// named ("quality" against "rank"): a file's normalised quality scores (1
// for its best frame) from best to worst, with the limit of the frames kept
// drawn as an upright red line labelled with their count, and the kept part
// of the curve in blue, the rest in the grey of frames not kept. The score
// axis runs from the tenth below the lowest score to 1, with four labelled
// steps; the ranks are labelled in round steps from 1.
OutputBitmap QualityPlot(const std::vector<double>& sortedScores, std::int32_t kept);

// How the planet wandered through the frame, titled, its axes named ("x, y
// of the centre [px]" against "frame"): its centre's x (blue) and y (green)
// against the frame number, on one scale of picture pixels, with a gap
// where no planet was found, and a tick under the plot for frames that were
// not written, in the ink of their reason (OutcomeInk), taller for a larger
// share of the frames that fall on its pixel column; a column whose frames
// were dropped for several reasons stacks them. The legend names the
// curves and, with their counts, only the reasons the file's frames were
// dropped for. The line runs through the mean of each column's frames, over
// a pale band from their least to their greatest value: a long file's
// jitter shows as the band, its drift as the line, and it is drawn with a
// few sums per frame and a line per column.
OutputBitmap DriftPlot(const PlotData& data);
