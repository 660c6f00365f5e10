// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/frame_sink.h"
#include "analysis/levels.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Makes the 8-bit picture of every frame with deeper samples anew through
// the file's levels, before the sink behind it (the frame handler) finds the
// planet in it, crops it and writes it; the samples themselves go on
// unchanged, for the outputs that keep them. Frames of 8-bit samples, and
// frames whose source hands over no samples, pass as they come.
//
// The levels are fixed once for the run: given ones at the first deep
// frame, automatic ones from it unless the file's first frames fixed them
// already (levels set on entry). A file's probe also counts the samples of
// all the frames it plays, from which the file's own run takes its levels.
class LevelsSink final : public WholeFrameSink {
public:
    // levels: the file's, kept up to date as they are fixed. fixed: told
    // the file's levels once, with the first frame they apply to.
    LevelsSink(FrameSink& sink, const LevelsChoice& choice, std::optional<FileLevels>& levels,
               std::function<void(const FileLevels&)> fixed)
        : m_sink(sink), m_choice(choice), m_levels(levels), m_fixed(std::move(fixed)),
          m_counting(choice.automatic && !levels)
    {}

    std::int32_t FrameCB(const SourceFrame& frame) override;
    bool acceptsPaintedFrames() const override { return false; }
    // The picture a source measured ahead is not the one the handler sees.
    std::optional<FrameMeasurer> measurerAhead() override { return std::nullopt; }
    bool readsStoredSamples() const override { return true; }

    // Auto levels from the samples of every deep frame played so far; none
    // unless the levels are automatic.
    std::optional<FileLevels> playedLevels() const;

private:
    const LevelsTable& table(const NativeFrame& frame);

    FrameSink& m_sink;
    LevelsChoice m_choice;
    std::optional<FileLevels>& m_levels;
    std::function<void(const FileLevels&)> m_fixed;
    std::optional<LevelsTable> m_table;
    // Auto levels not fixed on entry: the run is a probe or a test, which
    // play only the first frames, all of whose samples are counted.
    bool m_counting;
    std::vector<std::uint32_t> m_counts;   // of every sample value played
    std::int32_t m_depth = 0;
    // Memory that serves every frame of the run.
    std::vector<std::uint8_t> m_plane;
    std::vector<std::uint8_t> m_picture;
};
