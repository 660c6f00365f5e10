// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ffmpeg/held_frame_painter.h"

HeldFramePainter::HeldFramePainter(std::int32_t width, std::int32_t height) : m_width(width), m_height(height) {}

const std::uint8_t* HeldFramePainter::hold(const AVFrame& frame)
{
    m_frame = &frame;
    if (m_green.empty())
        m_green = orbicrop::fileio::PageBuffer(std::size_t(m_width) * std::size_t(m_height));
    m_yuv.green(frame, m_green.data());
    return m_green.data();
}

std::uint8_t* HeldFramePainter::paint(std::int32_t left, std::int32_t bottom, std::int32_t width, std::int32_t height)
{
    if (m_picture.empty())
        m_picture = orbicrop::fileio::PageBuffer(std::size_t(m_width) * std::size_t(m_height) * 3);
    if (m_frame != nullptr)
        m_yuv.convertWindow(*m_frame, left, bottom, width, height, m_picture.data());
    return m_picture.data();
}
