// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/bayer.h"

#include <cstddef>
#include <cstdint>

// Colour from a raw one-shot-colour mosaic. Nothing here knows frames,
// files or crops: a mosaic is a plane of samples whose 2 x 2 colour
// arrangement is named from its top-left sample.

// Turns mosaics into colour pictures. One per thread; it keeps its scratch
// memory from call to call, so a run of same-sized frames allocates once.
// The work is the demosaicing module's (demosaic_module.h), loaded on the
// first call of any demosaicer: a program that never debayers never loads it.
class Demosaicer {
public:
    Demosaicer() = default;
    ~Demosaicer();
    Demosaicer(const Demosaicer&) = delete;
    Demosaicer& operator=(const Demosaicer&) = delete;

    // mosaic: width x height samples, rows top-down, stride bytes from one row
    // to the next; bytesPerSample 1 or 2 (two-byte samples native-endian,
    // any depth up to 16 bits). pattern names its top-left sample.
    // out: width x height pixels of blue, green, red samples of the same size,
    // rows top-down, outStride bytes apart. width and height at least 2.
    // Throws std::invalid_argument for a smaller mosaic, another sample size,
    // or a stride shorter than its row; std::runtime_error when the module
    // cannot be loaded ("Cannot debayer: cannot load the module ...").
    void demosaic(const void* mosaic, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
                  std::int32_t bytesPerSample, BayerPattern pattern, DemosaicMethod method, void* out,
                  std::ptrdiff_t outStride);

private:
    void* m_scratch = nullptr;   // the module's, made on the first call
};
