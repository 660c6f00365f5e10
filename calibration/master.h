// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calibration/sample_image.h"
#include "image/bayer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbicrop::calibration {

enum class MasterKind : std::uint8_t { Dark, Flat, Bias };

// "dark", "flat", "bias" (as the command line names them), and the FITS
// IMAGETYP of each: "Master Dark", "Master Flat", "Master Bias".
std::string_view NameOf(MasterKind kind);
std::string_view ImageTypeOf(MasterKind kind);

// A master frame: one float per sample in the source's own units (a 12-bit
// dark holds values of 0..4095), rows top-down, the samples of a pixel
// interleaved red, green, blue when planes is 3.
struct Master {
    MasterKind kind = MasterKind::Dark;
    std::vector<float> values;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;   // 1 (mono or a mosaic) or 3 (RGB)
    std::int32_t depth = 0;    // bits of the source's samples; 0 when unknown
    // The mosaic seen from the top-left sample, for a master of raw colour frames.
    std::optional<BayerPattern> mosaic;
    std::int32_t combined = 0;               // frames combined (NCOMBINE)
    std::optional<double> exposureSeconds;   // EXPTIME
    std::optional<double> gain;              // GAIN
    // The values are fractions of the capture's full range (how Siril keeps
    // its 32-bit masters), to be scaled by 2^depth - 1 of the frames they
    // calibrate.
    bool normalised = false;

    std::size_t samples() const { return std::size_t(width) * std::size_t(height) * std::size_t(planes); }
};

// How frames are combined into a master.
enum class CombineMethod : std::uint8_t { Mean, SigmaClippedMean };

// Combines frames into a master, in floating point, streaming: memory holds
// a few floats a sample whatever the number of frames. A plain mean needs
// one pass over the frames; the sigma-clipped mean (kappa 3, two clipping
// passes) three: the first measures each sample's mean and deviation, each
// later one averages only the values within kappa deviations of the pass
// before's clipped mean. The caller plays every frame once per pass:
//
//   MasterCombiner combiner(kind, width, height, planes, method);
//   for (int pass = 0; pass < combiner.passes(); ++pass) {
//       for (each frame) combiner.add(frame);
//       combiner.endPass();
//   }
//   Master master = combiner.master();
//
// A sample every value of which a pass clips keeps the pass before's mean.
class MasterCombiner {
public:
    MasterCombiner(MasterKind kind, std::int32_t width, std::int32_t height, std::int32_t planes,
                   CombineMethod method = CombineMethod::SigmaClippedMean, double kappa = 3.0,
                   std::int32_t clipPasses = 2);

    std::int32_t passes() const;
    // frame's size and planes must be the combiner's (the caller refuses
    // others with the file's name). offset, when given, is subtracted from
    // every sample first (a bias or a dark-flat under a flat); it has the
    // frame's size.
    void add(const ConstSampleImage& frame, const Master* offset = nullptr);
    void endPass();
    // Frames added in the first pass.
    std::int32_t frames() const;
    // After the last pass: the master, its depth, mosaic, exposure and gain
    // left for the caller to fill in.
    Master master() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}   // namespace orbicrop::calibration
