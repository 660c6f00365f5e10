// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/little_endian.h"

#include <cstdint>

// The four-character codes of the AVI files we write and read, as the
// little-endian values they are stored as: one list for the writer and the
// readers, so that both spell each the same way.
namespace orbicrop::riff {

using fileio::fourcc;

inline constexpr std::uint32_t kRiff = fourcc("RIFF");
inline constexpr std::uint32_t kAvi = fourcc("AVI ");    // the first RIFF's form
inline constexpr std::uint32_t kAvix = fourcc("AVIX");   // the forms of OpenDML's further RIFFs
inline constexpr std::uint32_t kList = fourcc("LIST");
inline constexpr std::uint32_t kJunk = fourcc("JUNK");
inline constexpr std::uint32_t kHeaderList = fourcc("hdrl");
inline constexpr std::uint32_t kMainHeader = fourcc("avih");
inline constexpr std::uint32_t kStreamList = fourcc("strl");
inline constexpr std::uint32_t kStreamHeader = fourcc("strh");
inline constexpr std::uint32_t kStreamFormat = fourcc("strf");
inline constexpr std::uint32_t kStreamName = fourcc("strn");
inline constexpr std::uint32_t kVideoStream = fourcc("vids");
inline constexpr std::uint32_t kGrayCodec = fourcc("Y800");   // 8-bit grey, rows top-down
inline constexpr std::uint32_t kSuperIndex = fourcc("indx");
inline constexpr std::uint32_t kOdmlList = fourcc("odml");
inline constexpr std::uint32_t kOdmlHeader = fourcc("dmlh");
inline constexpr std::uint32_t kInfoList = fourcc("INFO");
inline constexpr std::uint32_t kMovieList = fourcc("movi");
inline constexpr std::uint32_t kIndex = fourcc("idx1");
inline constexpr std::uint32_t kStdIndex = fourcc("ix00");   // stream 0's OpenDML index chunk
inline constexpr std::uint32_t kFrame = fourcc("00db");      // stream 0's uncompressed frames
inline constexpr std::uint32_t kCompressedFrame = fourcc("00dc");

}   // namespace orbicrop::riff
