// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// How many frames of a file a processing run keeps: all of them, the best
// share in percent, or the best count. Kept frames stay in their original order.
struct KeepBest {
    enum class Kind { All, Percent, Count };
    Kind kind = Kind::All;
    std::int32_t value = 0;   // 1..100 for Percent, >= 1 for Count

    bool active() const { return kind != Kind::All; }
    // How many of candidates frames are kept (at least one when there is any).
    std::int32_t countOf(std::int32_t candidates) const;
};

// The centring choices beyond the threshold. They are taken from the shell
// once per test and once per file of a batch, never while a file plays, so a
// file is centred with one set of choices from its first frame to its last.
// All of them are off by default, and then every result is what it was
// without them.
struct CentringOptions {
    // Centre of gravity over the largest 4-connected group of planet blocks:
    // moons, stars and hot pixels apart from the planet do not pull the crop.
    bool largestObject = false;
    // Frames aligned by their content against a reference frame (Moon, Sun,
    // close-ups that fill the frame), instead of by the centre of gravity.
    bool surface = false;
    // Frames between two reference frames in surface mode.
    std::int32_t surfaceRefresh = 50;
    KeepBest keepBest;
    // The single best crop of each file is handed to the shell.
    bool bestFrame = false;

    // A frame quality score is measured, which takes a measuring pass over the
    // file before the writing pass.
    bool rankFrames() const { return keepBest.active() || bestFrame; }
};

constexpr std::int32_t kSurfaceRefreshDefault = 50;
