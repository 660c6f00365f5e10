// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/segmented_output.h"

#include "output/paths.h"
#include "time/capture_time.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <stdexcept>
#include <utility>

SegmentedOutput::SegmentedOutput(BatchOutput& output, double seconds, OutputClaims& claims)
    : m_output(output), m_seconds(seconds), m_claims(claims)
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
    m_last = 0.0;
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
    if (const auto why = m_claims.claim(m_input, path, m_output.writesFolder()))
        throw std::runtime_error("The output " + FileNameOf(path) + " " + *why);
    m_staged = std::make_unique<StagedOutput>(m_output, &m_claims, m_input);
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

void SegmentedOutput::runFailed()
{
    if (m_staged)
        m_staged->runFailed();
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
    m_last = std::max(m_last, at);
    const double slot = std::floor((at - *m_start) / m_seconds);
    // Times that go back (parts given out of order) start a piece of their
    // own as well, so that none holds more than its length.
    if (!std::isfinite(slot) || slot == double(m_slot))
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

namespace {

// "NAME_part" and the extension of a piece of path: the piece's number goes
// between them.
std::pair<std::string, std::string> PieceNameParts(const std::string& path)
{
    const std::string name = FileNameOf(SegmentedOutput::PiecePathFor(path, 0));
    const std::size_t at = name.find("_part0");
    return {name.substr(0, at + 5), name.substr(at + 6)};
}

// The number of a piece named NAME_partK.EXT, or 0.
std::int32_t PieceNumber(const std::string& name, const std::pair<std::string, std::string>& parts)
{
    const auto& [stem, extension] = parts;
    if (name.size() <= stem.size() + extension.size() || name.compare(0, stem.size(), stem) != 0
        || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return 0;
    const std::string digits = name.substr(stem.size(), name.size() - stem.size() - extension.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0')
        return 0;
    return std::stoi(digits);
}

}   // namespace

std::vector<std::string> SegmentedOutput::removeOlderPieces()
{
    std::vector<std::string> removed;
    if (!m_start)
        return removed;
    const bool folder = m_output.writesFolder();
    const auto parts = PieceNameParts(m_path);
    // A piece named after its mid-time drops any time the plain name began with.
    const auto timedParts = PieceNameParts(DirectoryOf(m_path) + WithoutWinJuposPrefix(FileNameOf(m_path)));
    const std::string directory = DirectoryOf(m_path);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory.empty() ? "." : directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string path = it->path().string();
        const std::string name = it->path().filename().string();
        std::int32_t number = PieceNumber(name, parts);
        // A mid-time name belongs to this output only when the time lies
        // within its frames: a capture of the same name from another night
        // is not an older run of this one.
        if (const auto time = number == 0 && !m_byStream ? CaptureTimeInName(name) : std::nullopt) {
            const std::string prefix = WinJuposPrefix(*time);
            const double at = double(*time) / 1e7;
            if (name.compare(0, prefix.size(), prefix) == 0 && at >= *m_start - m_seconds && at <= m_last + m_seconds)
                number = PieceNumber(name.substr(prefix.size()), timedParts);
        }
        if (number <= m_piece)
            continue;
        if (std::find(m_placedPaths.begin(), m_placedPaths.end(), path) != m_placedPaths.end())
            continue;
        std::error_code typeError;
        const bool fits = folder ? it->is_directory(typeError) && !it->is_symlink(typeError) && !ForeignEntryIn(path)
                                 : it->is_regular_file(typeError) && !it->is_symlink(typeError);
        if (!fits || m_claims.claim(m_input, path, folder))
            continue;
        std::error_code ignored;
        if (folder ? std::filesystem::remove_all(path, ignored) > 0 : std::filesystem::remove(path, ignored))
            removed.push_back(FileNameOf(path));
    }
    std::sort(removed.begin(), removed.end());
    return removed;
}
