// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace orbicrop::ser {

// The ColorID field of a SER header: how the samples of a frame make up its
// pixels. The mosaics name their 2 x 2 cell row by row from the top-left
// pixel; RGB and BGR interleave three samples per pixel in that order.
enum class SerColour : std::int32_t {
    Mono = 0,
    BayerRggb = 8,
    BayerGrbg = 9,
    BayerGbrg = 10,
    BayerBggr = 11,
    BayerCyym = 16,
    BayerYcmy = 17,
    BayerYmcy = 18,
    BayerMyyc = 19,
    Rgb = 100,
    Bgr = 101,
};

// Whether id is one of the values above.
bool IsKnownSerColour(std::int32_t id);

// Samples per pixel: 3 for RGB and BGR, 1 for mono and the mosaics.
std::int32_t SerPlanes(SerColour colour);

// The colour of a crop whose top-left pixel lies at (dx, dy) of the source
// frame. Only the parity of the offsets matters, negative ones included: an
// odd dx swaps the columns of the mosaic cell, an odd dy its rows, so RGGB
// becomes GRBG, GBRG or BGGR. Mono, RGB and BGR do not depend on position.
SerColour SerColourAtOffset(SerColour colour, std::int64_t dx, std::int64_t dy);

}   // namespace orbicrop::ser
