// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

// How many frames of a file a processing run keeps: all of them, the best
// share in percent, the best count, or those whose normalised score (1.0 for
// the file's best) reaches a floor. Kept frames stay in their original order.
struct KeepBest {
    enum class Kind { All, Percent, Count, Floor };
    Kind kind = Kind::All;
    std::int32_t value = 0;   // 1..100 for Percent, >= 1 for Count
    double floor = 0.0;       // 0..1 for Floor

    bool active() const { return kind != Kind::All; }
    // How many of candidates frames are kept (at least one when there is
    // any); for Floor, FrameRanking counts the scores that reach it.
    std::int32_t countOf(std::int32_t candidates) const;
};

// Frames dropped for stated reasons before they are written or ranked, each
// off by default. A frame gets the first that applies, in this order (after
// "no planet"): the object reaches the frame's border; its larger diameter
// is below minSize pixels; more than maxSaturated percent of its pixels are
// at the top value the detection reads; its brightness above the sky is
// below dimPercent of the median of the file's frames that pass the others.
struct RejectOptions {
    bool cut = false;
    std::int32_t minSize = 0;   // pixels; 0: off
    std::optional<double> maxSaturated;
    std::optional<double> dimPercent;
    bool active() const { return cut || minSize > 0 || maxSaturated || dimPercent; }
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
    // The centre of the full disc from a circle fitted to its lit limb,
    // instead of the centre of gravity of its light: crescents and gibbous
    // phases stay put as the light shifts. Not with surface mode or inverse.
    bool limb = false;
    // Frames between two reference frames in surface mode.
    std::int32_t surfaceRefresh = 50;
    KeepBest keepBest;
    // The single best crop of each file is handed to the shell.
    bool bestFrame = false;
    // Every frame's score is handed to the shell (a quality plot).
    bool scores = false;
    RejectOptions reject;

    // A frame quality score is measured, which takes a measuring pass over the
    // file before the writing pass; so does the median that dim frames are
    // measured against.
    bool rankFrames() const { return keepBest.active() || bestFrame || scores || reject.dimPercent.has_value(); }
};

constexpr std::int32_t kSurfaceRefreshDefault = 50;
