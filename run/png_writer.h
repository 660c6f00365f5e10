// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

// The bitmap as the bytes of an 8-bit RGB PNG, top row first, for pages
// that embed their pictures. Throws std::runtime_error when it cannot be made.
std::vector<std::uint8_t> EncodePng(const OutputBitmap& bitmap);

// Writes the bitmap as an 8-bit RGB PNG, top row first. Throws
// std::runtime_error naming the file when it cannot be written.
void WritePng(const OutputBitmap& bitmap, const std::string& path);
