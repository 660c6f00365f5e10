// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

// Demosaicing comes as a loadable module, so that the programs link none of
// OpenCV's libraries (some fifteen with theirs: TBB, BLAS, LAPACK, X11, GLX
// among them, whose loading and set-up cost every run milliseconds) and load
// them only when a run debayers: Demosaicer loads it with dlopen on first
// need.
//
// The module exports one function, which gives the table of its entry
// points. No exception crosses them.
struct DemosaicModule {
    // A demosaicer's scratch memory, kept from call to call; null when it
    // cannot be had.
    void* (*create)();
    void (*destroy)(void* scratch);
    // Demosaicer::demosaic's work on the same arguments (pattern and method
    // as their enums' values): 0 when done, kDemosaicRefused for arguments it
    // refuses, another value for any other failure; on failure the reason is
    // in error (at most errorSize bytes, ended by a zero).
    int (*demosaic)(void* scratch, const void* mosaic, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
                    std::int32_t bytesPerSample, int pattern, int method, void* out, std::ptrdiff_t outStride,
                    char* error, std::size_t errorSize);
};

extern "C" const DemosaicModule* orbicrop_demosaic_module();

inline constexpr char kDemosaicModuleSymbol[] = "orbicrop_demosaic_module";
inline constexpr int kDemosaicRefused = 1;
