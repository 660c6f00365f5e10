// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/block_scratch.h"

#include <vector>

std::span<std::int32_t> BlockScratch(std::size_t count)
{
    thread_local std::vector<std::int32_t> buffer;
    if (buffer.size() < count)
        buffer.resize(count);
    return {buffer.data(), count};
}
