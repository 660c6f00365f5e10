// SPDX-License-Identifier: GPL-3.0-or-later
#include "avi/avi_writer.h"

#include "avi/avi_video_file.h"
#include "text/ascii_text.h"
#include "fileio/output_file.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>

using orbicrop::avi::AviVideoFile;
using orbicrop::avi::VideoFormat;
using orbicrop::fileio::OutputFile;

namespace {

// Frames larger than this would crowd a RIFF; far above any crop size.
constexpr std::uint64_t kMaxFrameBytes = 512u * 1024 * 1024;
// rcFrame of the stream header stores 16-bit signed values.
constexpr std::int32_t kMaxDimension = 32767;

std::string sizeText(std::int32_t width, std::int32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// The extension of the file name part, from its last dot, dot included.
std::string lowerExtension(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return {};
    std::string ext(name.substr(dot));
    std::ranges::transform(ext, ext.begin(), orbicrop::text::asciiLower);
    return ext;
}

}   // namespace

TAviWriter::TAviWriter(std::int32_t screenWidth, std::int32_t screenHeight)
    : m_height(screenHeight / 10), m_width(screenWidth / 10), m_riffSizeLimit(AviVideoFile::kDefaultRiffSizeLimit)
{}

TAviWriter::~TAviWriter()
{
    if (!isOpen())
        return;
    try {
        CloseVideo();
    } catch (...) {
        // A destructor must not throw; the file is as complete as it could be made.
    }
}

void TAviWriter::setWavFileName(const std::string& value)
{
    if (orbicrop::text::equalIgnoringAsciiCase(value, m_wavFileName))
        return;
    if (lowerExtension(value) != ".wav")
        throw AviError("WavFileName must name a file with the .wav extension");
    m_wavFileName = value;
}

void TAviWriter::setFrameRate(std::uint32_t rate, std::uint32_t scale)
{
    // dwMicroSecPerFrame is 32 bits: about 4295 seconds a frame at most.
    constexpr std::uint64_t kMaxSecondsPerFrame = 4000;
    if (rate == 0 || scale == 0 || std::uint64_t(scale) > std::uint64_t(rate) * kMaxSecondsPerFrame)
        throw AviError("Unsupported AVI frame rate " + std::to_string(rate) + "/" + std::to_string(scale));
    m_rate = rate;
    m_scale = scale;
    if (m_file)
        m_file->setFrameRate(rate, scale);
}

std::int32_t TAviWriter::framesWritten() const
{
    return m_file ? std::int32_t(m_file->frameCount()) : 0;
}

void TAviWriter::setRiffSizeLimit(std::uint64_t bytes)
{
    m_riffSizeLimit = bytes;
    if (m_file)
        m_file->setRiffSizeLimit(bytes);
}

void TAviWriter::OpenVideo(bool grayscale)
{
    if (isOpen())
        throw AviError("OpenVideo called while an AVI file is open; call CloseVideo first");
    const VideoFormat format{m_width, m_height, grayscale, m_rate, m_scale};
    if (m_width <= 0 || m_height <= 0 || m_width > kMaxDimension || m_height > kMaxDimension
        || std::uint64_t(format.rowBytes()) * std::uint64_t(m_height) > kMaxFrameBytes)
        throw AviError("Unsupported AVI frame size " + sizeText(m_width, m_height));

    OutputFile file;
    try {
        file = OutputFile::create(m_fileName);
    } catch (const std::system_error& e) {
        throw AviError("Failed to create AVI video work file " + m_fileName + ": " + e.code().message());
    }
    // The headers hold the stream header and the format block; writing them
    // is what creating the stream amounts to here.
    try {
        m_file = std::make_unique<AviVideoFile>(std::move(file), format, m_riffSizeLimit);
    } catch (const std::system_error& e) {
        throw AviError("Failed to create AVI video stream in " + m_fileName + ": " + e.code().message());
    }
    const bool padGreyRows = grayscale && format.rowBytes() != std::uint32_t(m_width);
    m_rowStaging.assign(padGreyRows ? format.frameBytes() : 0, 0);
}

void TAviWriter::checkFrame(const char* operation, const OutputBitmap& bitmap, bool grayscale, std::int32_t index) const
{
    if (!isOpen())
        throw AviError(std::string(operation) + " called while no AVI file is open");
    const VideoFormat& format = m_file->format();
    if (format.grayscale != grayscale)
        throw AviError(std::string(operation) + " cannot add a " + (grayscale ? "greyscale" : "colour") + " frame to a "
                       + (format.grayscale ? "greyscale" : "colour") + " AVI file");
    if (bitmap.empty() || bitmap.sizeBytes() != std::size_t(bitmap.stride()) * std::size_t(bitmap.height()))
        throw AviError("Invalid bitmap");
    if (bitmap.width() != format.width || bitmap.height() != format.height)
        throw AviError("Frame size " + sizeText(bitmap.width(), bitmap.height()) + " differs from the AVI frame size "
                       + sizeText(format.width, format.height));
    if (index != framesWritten())
        throw AviError("Frame index " + std::to_string(index) + " out of sequence; the next frame is "
                       + std::to_string(framesWritten()));
}

void TAviWriter::writeFrame(const std::uint8_t* data)
{
    try {
        m_file->appendFrame(data);
    } catch (const std::system_error& e) {
        throw AviError("Failed to add frame to AVI file " + m_file->path() + ": " + e.code().message());
    }
}

void TAviWriter::AddFrame(const OutputBitmap& bitmap, std::int32_t index)
{
    checkFrame("AddFrame", bitmap, false, index);
    // The bitmap's stored rows are already the frame data of a bottom-up
    // RGB24 DIB, padding included.
    writeFrame(bitmap.data());
}

void TAviWriter::AddGrayFrame(const OutputBitmap& bitmap, const std::uint8_t* plane, std::int32_t index)
{
    checkFrame("AddGrayFrame", bitmap, true, index);
    if (plane == nullptr)
        throw AviError("AddGrayFrame needs a grey plane");
    if (m_rowStaging.empty()) {
        writeFrame(plane);
        return;
    }
    // Rows of a width that is not a multiple of 4 are padded in the file;
    // copy them so that nothing past the caller's width x height bytes is read.
    const std::size_t width = std::size_t(bitmap.width());
    const std::size_t row = m_file->format().rowBytes();
    for (std::size_t y = 0; y < std::size_t(bitmap.height()); ++y)
        std::memcpy(m_rowStaging.data() + y * row, plane + y * width, width);
    writeFrame(m_rowStaging.data());
}

void TAviWriter::CloseVideo()
{
    if (!isOpen())
        throw AviError("CloseVideo called while no AVI file is open");
    // Idle afterwards whatever happens; the file object closes its descriptor.
    const std::unique_ptr<AviVideoFile> file = std::move(m_file);
    try {
        file->finish();
    } catch (const std::system_error& e) {
        throw AviError("Failed to finish AVI file " + file->path() + ": " + e.code().message());
    }
}
