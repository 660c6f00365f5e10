// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/output_bitmap.h"

#include <cstring>

void OutputBitmap::setSize(std::int32_t width, std::int32_t height)
{
    if (width < 0)
        width = 0;
    if (height < 0)
        height = 0;
    m_width = width;
    m_height = height;
    m_stride = strideFor(width);
    const std::size_t bytes = std::size_t(m_stride) * std::size_t(height);
    m_pixels.resize(bytes);
    // Keep the row padding zero so that whole rows can be written out as they are.
    const std::int32_t used = width * 3;
    if (used != m_stride) {
        for (std::int32_t i = 0; i < height; ++i)
            std::memset(rowFromBottom(i) + used, 0, std::size_t(m_stride - used));
    }
}
