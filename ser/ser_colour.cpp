// SPDX-License-Identifier: GPL-3.0-or-later
#include "ser/ser_colour.h"

namespace orbicrop::ser {

bool IsKnownSerColour(std::int32_t id)
{
    switch (static_cast<SerColour>(id)) {
    case SerColour::Mono:
    case SerColour::BayerRggb:
    case SerColour::BayerGrbg:
    case SerColour::BayerGbrg:
    case SerColour::BayerBggr:
    case SerColour::BayerCyym:
    case SerColour::BayerYcmy:
    case SerColour::BayerYmcy:
    case SerColour::BayerMyyc:
    case SerColour::Rgb:
    case SerColour::Bgr: return true;
    }
    return false;
}

std::int32_t SerPlanes(SerColour colour)
{
    return colour == SerColour::Rgb || colour == SerColour::Bgr ? 3 : 1;
}

SerColour SerColourAtOffset(SerColour colour, std::int64_t dx, std::int64_t dy)
{
    // Both mosaic families run in the same order from their first id: the
    // cell as is, columns swapped, rows swapped, both swapped. So bit 0 of
    // the distance from the first id is the column swap and bit 1 the row
    // swap. (x & 1 is the parity of negative values too.)
    std::int32_t first;
    switch (colour) {
    case SerColour::BayerRggb:
    case SerColour::BayerGrbg:
    case SerColour::BayerGbrg:
    case SerColour::BayerBggr: first = std::int32_t(SerColour::BayerRggb); break;
    case SerColour::BayerCyym:
    case SerColour::BayerYcmy:
    case SerColour::BayerYmcy:
    case SerColour::BayerMyyc: first = std::int32_t(SerColour::BayerCyym); break;
    default: return colour;
    }
    const std::int32_t arrangement =
        (std::int32_t(colour) - first) ^ std::int32_t(dx & 1) ^ std::int32_t((dy & 1) << 1);
    return static_cast<SerColour>(first + arrangement);
}

}   // namespace orbicrop::ser
