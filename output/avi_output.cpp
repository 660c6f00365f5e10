// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/avi_output.h"

void AviOutput::open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale)
{
    m_writer.setFileName(path);
    m_writer.setWidth(width);
    m_writer.setHeight(height);
    m_writer.OpenVideo(grayscale);
}
