#include "video/ser_samples.h"

#include <algorithm>
#include <bit>
#include <cstddef>

namespace {

// Total difference between samples two pixels apart within each row of one
// two-byte frame, reading it in the given byte order. Two pixels apart, so
// that in a colour mosaic like is compared with like.
std::uint64_t Roughness(const std::uint8_t* frame, const SerSampleFormat& f, bool bigEndian)
{
    const std::size_t rowSamples = std::size_t(f.rowSamples());
    const std::size_t step = std::size_t(f.planes) * 2;
    if (rowSamples <= step)
        return 0;
    const std::size_t hi = bigEndian ? 0 : 1;
    const std::size_t lo = 1 - hi;
    std::uint64_t total = 0;
    for (std::int32_t y = 0; y < f.height; ++y) {
        const std::uint8_t* row = frame + std::size_t(y) * rowSamples * 2;
        std::uint32_t rowTotal = 0;   // at most 16384 x 3 x 65535 < 2^32
        for (std::size_t i = 0; i + step < rowSamples; ++i) {
            const std::int32_t a = row[2 * i + hi] << 8 | row[2 * i + lo];
            const std::int32_t b = row[2 * (i + step) + hi] << 8 | row[2 * (i + step) + lo];
            rowTotal += std::uint32_t(a > b ? a - b : b - a);
        }
        total += rowTotal;
    }
    return total;
}

// Bit width of the largest sample. A bitwise OR does not care which byte of a
// sample is which, so the two byte lanes are gathered first and put in order
// at the end.
std::int32_t BitsUsed(std::span<const std::uint8_t> frames, std::int32_t bytesPerSample, bool bigEndian)
{
    if (bytesPerSample == 1) {
        std::uint8_t any = 0;
        for (std::uint8_t b : frames) any |= b;
        return std::bit_width(unsigned(any));
    }
    std::uint8_t even = 0;
    std::uint8_t odd = 0;
    for (std::size_t i = 0; i + 1 < frames.size(); i += 2) {
        even |= frames[i];
        odd |= frames[i + 1];
    }
    const unsigned any = bigEndian ? unsigned(even) << 8 | odd : unsigned(odd) << 8 | even;
    return std::bit_width(any);
}

} // namespace

SerSampleFormat ChooseSampleFormat(const SerHeader& header, std::span<const std::uint8_t> firstFrames)
{
    SerSampleFormat f;
    f.width = header.width;
    f.height = header.height;
    f.colour = header.colour;
    f.planes = header.planes();
    f.bytesPerSample = header.bytesPerSample();
    f.depth = header.depth;

    const std::size_t frameBytes = std::size_t(header.frameBytes());
    if (firstFrames.size() < frameBytes)
        return f;

    if (f.bytesPerSample == 2) {
        const bool flagBig = !header.dataLooksLittleEndian();
        const std::uint64_t asFlagged = Roughness(firstFrames.data(), f, flagBig);
        const std::uint64_t asOther = Roughness(firstFrames.data(), f, !flagBig);
        f.bigEndian = asOther < asFlagged ? !flagBig : flagBig;
    }

    const std::int32_t used = BitsUsed(firstFrames, f.bytesPerSample, f.bigEndian);
    if (used > 0)
        f.depth = f.bytesPerSample == 2 ? std::clamp(used, 8, 16) : std::clamp(used, header.depth, 8);
    return f;
}
