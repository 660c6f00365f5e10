// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <string>

// Writes the bitmap as an 8-bit RGB PNG, top row first. Throws
// std::runtime_error naming the file when it cannot be written.
void WritePng(const OutputBitmap& bitmap, const std::string& path);
