// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/ser/ser_frame_reader.h"

SerFrameReader::SerFrameReader(SerFile file, const SerLayout& layout, SerReading reading)
    : m_file(std::move(file)), m_layout(layout)
{
    // Only the frames are mapped; the time stamps after them are read once.
    if (reading == SerReading::Mapped)
        m_map = SerFileMap(m_file, m_layout.frameOffset(m_layout.frames));
}

const std::uint8_t* SerFrameReader::frame(std::uint32_t index, std::span<std::uint8_t> buffer, std::uint32_t framesKept)
{
    const std::uint64_t offset = m_layout.frameOffset(index);
    if (!m_map.empty()) {
        // A mapped page past the end of a file that shrank raises SIGBUS
        // when touched, so make sure the file still holds the frame.
        if (m_file.size() < offset + m_layout.frameBytes)
            return nullptr;
        // The frame before the kept ones is done with.
        if (index > framesKept)
            done(index - framesKept - 1);
        if (!m_map.populate(offset, m_layout.frameBytes))
            return nullptr;
        return m_map.data() + offset;
    }
    buffer = buffer.first(std::size_t(m_layout.frameBytes));
    if (m_file.readAt(offset, buffer) != buffer.size())
        return nullptr;
    return buffer.data();
}

bool SerFrameReader::readPart(std::uint32_t index, std::uint64_t from, std::span<std::uint8_t> out) const
{
    return from + out.size() <= m_layout.frameBytes
        && m_file.readAt(m_layout.frameOffset(index) + from, out) == out.size();
}

void SerFrameReader::done(std::uint32_t index)
{
    if (!m_map.empty())
        m_map.release(m_layout.frameOffset(index), m_layout.frameOffset(index + 1));
}
