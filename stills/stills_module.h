// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stills/still_image.h"

#include <cstddef>

// The still-image writers come as a loadable module, so that a program links
// none of libtiff's and cfitsio's libraries (cfitsio alone brings some forty,
// a network stack among them) and pays for loading them only when a run
// writes still images (SequenceOutput loads it with dlopen on first need).
//
// The module exports this function: it writes image to path in format
// (kStillTiff, kStillFits or kStillPng) and returns 0, or returns non-zero
// with the reason in error (at most errorSize bytes, ended by a zero). No
// exception crosses it. It exports the reading and writing of master
// frames too (stills/fits_master.h), and the reading of stills
// (stills/still_frame.h).
extern "C" int orbicrop_write_still(int format, const char* path, const orbicrop::stills::StillImage* image,
                                    char* error, std::size_t errorSize);

inline constexpr char kWriteStillSymbol[] = "orbicrop_write_still";
inline constexpr int kStillTiff = 0;
inline constexpr int kStillFits = 1;
inline constexpr int kStillPng = 2;
