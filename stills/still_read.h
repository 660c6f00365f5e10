// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stills/still_frame.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the readers of the still formats share; ReadStill (still_read.cpp)
// hands a file to its format's reader by its first bytes.
namespace orbicrop::stills {

void ReadFitsStill(const std::string& path, double floatScale, StillFrame& frame);
void ReadTiffStill(const std::string& path, StillFrame& frame);
void ReadPngStill(const std::string& path, StillFrame& frame);

// The most a frame may take: more is a damaged header, not a planet.
inline constexpr std::uint64_t kMostFrameBytes = std::uint64_t(1) << 30;

// Gives frame its size and room for its samples, and rowRoom bytes past
// them for a reader's row (within samples' capacity, so that the frames of
// a capture after the first allocate nothing; the reader gives them back
// with EndRowRoom). Throws StillError "Couldn't read the <format> file
// <path>: ..." for a size that is empty or over kMostFrameBytes.
void SizeFrame(StillFrame& frame, const std::string& path, const char* format, std::uint64_t width,
               std::uint64_t height, std::int32_t planes, std::int32_t bytesPerSample, std::size_t rowRoom = 0);
std::uint8_t* RowRoom(StillFrame& frame);
void EndRowRoom(StillFrame& frame);

// "YYYY-MM-DDTHH:MM:SS", a fraction of a second and a "Z" optional,
// blanks around it ignored: the time without the Z; empty for anything
// else.
std::string IsoUtcText(std::string_view text);

}   // namespace orbicrop::stills
