// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/segmented_output.h"

#include "run/actions.h"
#include "run/paths.h"

#include <cmath>
#include <stdexcept>
#include <utility>

SegmentedOutput::SegmentedOutput(BatchOutput& output, double seconds, std::vector<std::string> inputs)
    : m_output(output), m_seconds(seconds), m_inputs(std::move(inputs))
{}

std::string SegmentedOutput::PiecePathFor(const std::string& path, std::int32_t piece)
{
    const std::string name = FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    const std::size_t at = path.size() - name.size() + (dot == std::string::npos ? name.size() : dot);
    return path.substr(0, at) + "_part" + std::to_string(piece) + path.substr(at);
}

void SegmentedOutput::open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale)
{
    m_path = path;
    m_width = width;
    m_height = height;
    m_grayscale = grayscale;
    m_piece = 0;
    m_start.reset();
    m_slot = 0;
    m_byStream = false;
    m_placedPaths.clear();
    m_notes.clear();
    // The first piece opens now, so that an output that cannot be made at
    // all ends the batch before a frame plays, as a single output does.
    openPiece();
    m_open = true;
}

void SegmentedOutput::openPiece()
{
    const std::string path = PiecePathFor(m_path, m_piece + 1);
    if (OutputReplacesInput(path, m_inputs))
        throw std::runtime_error("The output " + FileNameOf(path) + " would replace one of the chosen input files");
    m_staged = std::make_unique<StagedOutput>(m_output);
    m_staged->open(path, m_width, m_height, m_grayscale);
    ++m_piece;
    m_pieceFrames = 0;
}

void SegmentedOutput::closePiece()
{
    if (!m_staged)
        return;
    const std::unique_ptr<StagedOutput> staged = std::move(m_staged);
    const auto keep = [&] {
        if (const std::string note = staged->closingNote(); !note.empty())
            m_notes.push_back(note);
        if (staged->placed())
            m_placedPaths.push_back(staged->placedPath());
    };
    try {
        staged->close();
    } catch (...) {
        keep();
        throw;
    }
    keep();
}

void SegmentedOutput::close()
{
    m_open = false;
    closePiece();
}

void SegmentedOutput::nextFrameAt(double sampleTime, std::optional<std::int64_t> utcTicks)
{
    if (!m_start) {
        m_byStream = !utcTicks;
        if (m_byStream)
            m_notes.push_back("The frames carry no capture time: pieces of " + std::to_string(std::lround(m_seconds))
                              + " s are counted by the stream's frame rate");
    }
    // A frame without its own time in a timed capture stays with the piece in hand.
    if (!m_byStream && !utcTicks)
        return;
    const double at = m_byStream ? sampleTime : double(*utcTicks) / 1e7;
    if (!m_start)
        m_start = at;
    const double slot = std::floor((at - *m_start) / m_seconds);
    if (!std::isfinite(slot) || slot <= double(m_slot))
        return;
    m_slot = std::int64_t(slot);
    if (m_pieceFrames == 0 && m_staged)
        return;   // nothing written yet: the piece in hand serves
    closePiece();
    openPiece();
}

void SegmentedOutput::addColorFrame(const OutputBitmap& bitmap, std::int32_t)
{
    if (!m_staged)
        throw std::runtime_error("The output is closed");
    m_staged->addColorFrame(bitmap, m_pieceFrames);
    ++m_pieceFrames;
}

void SegmentedOutput::addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t)
{
    if (!m_staged)
        throw std::runtime_error("The output is closed");
    m_staged->addGrayFrame(bitmap, plane, m_pieceFrames);
    ++m_pieceFrames;
}

void SegmentedOutput::addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t)
{
    if (!m_staged)
        throw std::runtime_error("The output is closed");
    m_staged->addSamples(frame, utcTicks, m_pieceFrames);
    ++m_pieceFrames;
}

std::string SegmentedOutput::closingNote() const
{
    std::string text;
    for (const std::string& note : m_notes)
        text += (text.empty() ? "" : "\n") + note;
    return text;
}
