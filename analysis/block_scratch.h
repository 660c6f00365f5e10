// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

// Room for one frame's block sums. Frames are analysed one at a time on the
// thread that delivers them, so each thread keeps one buffer and reuses it:
// the analysis allocates only when a larger frame size first arrives.
std::span<std::int32_t> BlockScratch(std::size_t count);
