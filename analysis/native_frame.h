// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a capture file tells about itself that an output of the same kind
// carries over. Times are 100 ns ticks since 0001-01-01 00:00 (0: unknown),
// dateTime local, dateTimeUtc UTC.
struct CaptureHeader {
    std::int32_t cameraId = 0;
    std::string observer;
    std::string instrument;
    std::string telescope;
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;
};

// The layout of samples is named by the ids of the SER format, the one
// container that holds all of them: 0 mono, 8..19 the 2 x 2 colour mosaics
// (named from the top-left pixel), 100 RGB and 101 BGR (three samples a pixel).
inline constexpr std::int32_t kSamplesMono = 0;
inline constexpr std::int32_t kSamplesBgr = 101;
inline bool IsMosaic(std::int32_t layout)
{
    return layout >= 8 && layout <= 19;
}
// The mosaic as seen from the sample at (left, top): an odd column swaps the
// cell's columns, an odd row its rows. Each family's ids are ordered so that
// this is bit 0 and bit 1 of the id.
inline std::int32_t MosaicAt(std::int32_t layout, std::int64_t left, std::int64_t top)
{
    if (!IsMosaic(layout))
        return layout;
    return layout ^ (left % 2 != 0 ? 1 : 0) ^ (top % 2 != 0 ? 2 : 0);
}

// One decoded frame's samples as its file holds them, beside the 8-bit
// picture the analysis works on. Rows top-down; samples of a pixel
// interleaved; two-byte samples little-endian with the value in the low
// depth bits. Read only; valid for the call it comes with.
struct NativeFrame {
    // Null when the source was told that the sink reads no samples; the rest
    // is filled in all the same.
    const std::uint8_t* topRow = nullptr;
    std::ptrdiff_t stride = 0;   // bytes from one row to the next below it
    std::int32_t width = 0;      // pixels
    std::int32_t height = 0;
    std::int32_t layout = kSamplesMono;      // see above
    std::int32_t planes = 1;                 // samples a pixel: 3 for RGB and BGR, else 1
    std::int32_t bytesPerSample = 1;         // 1 or 2
    std::int32_t depth = 8;                  // bits the samples use, 1..16
    std::optional<std::int64_t> utcTicks;    // when the frame was taken, if the file says
    const CaptureHeader* header = nullptr;   // the file's own; null when it has none

    std::size_t rowBytes() const { return std::size_t(width) * std::size_t(planes) * std::size_t(bytesPerSample); }
};

// A window of samples cut out of a frame, owned. left and top place its
// top-left pixel in the source frame (top-down rows; negative when the
// window starts outside), which is what names a mosaic's arrangement at the
// window.
struct SampleFrame {
    std::vector<std::uint8_t> samples;   // rows top-down, no padding
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t layout = kSamplesMono;
    std::int32_t planes = 1;
    std::int32_t bytesPerSample = 1;
    std::int32_t depth = 8;
    std::int64_t left = 0;
    std::int64_t top = 0;
    const CaptureHeader* header = nullptr;
};
