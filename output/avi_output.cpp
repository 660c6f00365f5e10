// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/avi_output.h"

void AviOutput::open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale)
{
    m_writer.setFileName(path);
    m_writer.setWidth(width);
    m_writer.setHeight(height);
    m_writer.setFrameRate(m_rate.rate, m_rate.scale);
    m_writer.OpenVideo(grayscale);
}

bool AviOutput::playAt(const FrameRate& rate)
{
    m_writer.setFrameRate(rate.rate, rate.scale);
    m_rate = rate;
    return true;
}
