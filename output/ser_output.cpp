// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ser_output.h"

#include "output/paths.h"
#include "time/capture_time.h"

#include "fileio/output_file.h"

#include <algorithm>
#include <system_error>

namespace ser = orbicrop::ser;

namespace {

std::string Field(const std::string& text)
{
    return text.substr(0, std::min(text.size(), ser::kTextFieldBytes));
}

}   // namespace

// The frames give the size: the crop, the same for every frame.
void SerOutput::open(const std::string& path, std::int32_t /*width*/, std::int32_t /*height*/, bool /*grayscale*/)
{
    if (m_open)
        throw ser::SerError("open called while the SER output " + m_path + " is open; call close first");
    // The format is the first frame's, so the header waits for it; the file
    // is made now all the same, so that one that cannot be made ends the
    // batch at once, as an AVI that cannot be made does.
    try {
        orbicrop::fileio::OutputFile::create(path).close();
    } catch (const std::system_error& e) {
        throw ser::SerError("Failed to create SER file " + path + ": " + e.code().message());
    }
    m_path = path;
    m_frames = 0;
    m_allTimed = true;
    m_firstTime = m_lastTime = 0;
    m_open = true;
}

void SerOutput::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_writer.close();
}

std::string SerOutput::outputPathFor(const std::string& inputPath, const std::string& outputDir,
                                     bool /*grayscale*/) const
{
    return SerOutputPathFor(inputPath, outputDir);
}

std::string SerOutput::finalPathFor(const std::string& openedPath) const
{
    if (!m_winJuposName || m_frames == 0 || !m_allTimed)
        return openedPath;
    // The middle of the first and last times, without overflowing their sum.
    const std::int64_t middle = m_firstTime + (m_lastTime - m_firstTime) / 2;
    return DirectoryOf(openedPath) + WithWinJuposPrefix(FileNameOf(openedPath), middle);
}

std::string SerOutput::closingNote() const
{
    if (!m_winJuposName || m_frames == 0 || m_allTimed)
        return {};
    return "The frames' capture times are not known, so " + FileNameOf(m_path)
        + " keeps its plain name (give --start-time, or a capture time in the input's name)";
}

void SerOutput::start(const SampleFrame& frame, std::optional<std::int64_t> utcTicks)
{
    ser::SerFormat format;
    format.width = frame.width;
    format.height = frame.height;
    format.colour = ser::SerColourAtOffset(static_cast<ser::SerColour>(frame.layout), frame.left, frame.top);
    // Two-byte samples stay two bytes: data that shows no more than 8 bits
    // declares the full 16 rather than be narrowed.
    format.depth = frame.bytesPerSample == 2 && frame.depth <= 8 ? 16 : frame.depth;
    if (frame.header != nullptr) {
        format.luId = frame.header->cameraId;
        format.observer = Field(frame.header->observer);
        format.instrument = Field(frame.header->instrument);
        format.telescope = Field(frame.header->telescope);
        format.dateTime = frame.header->dateTime;
        format.dateTimeUtc = frame.header->dateTimeUtc;
    } else {
        // A capture of another kind: its program's notes name the camera.
        format.instrument = Field(notes().camera);
        // Where the capture was taken, and so its local time, is unknown.
        if (utcTicks)
            format.dateTime = format.dateTimeUtc = *utcTicks;
    }
    m_writer.open(m_path, format);
}

void SerOutput::addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t /*index*/)
{
    if (!m_open)
        throw ser::SerError("addFrame called while no SER output is open");
    if (!m_writer.isOpen())
        start(frame, utcTicks);
    const ser::SerFormat& format = m_writer.format();
    const auto colour = ser::SerColourAtOffset(static_cast<ser::SerColour>(frame.layout), frame.left, frame.top);
    if (colour != format.colour || frame.bytesPerSample != format.bytesPerSample())
        throw ser::SerError("Frame " + std::to_string(m_frames) + " cannot go into SER file " + FileNameOf(m_path)
                            + ": its samples are laid out differently from the file's first frame");
    m_writer.addFrame(frame.samples, utcTicks);
    if (utcTicks && m_allTimed) {
        if (m_frames == 0)
            m_firstTime = *utcTicks;
        m_lastTime = *utcTicks;
    } else {
        m_allTimed = false;
    }
    ++m_frames;
}
