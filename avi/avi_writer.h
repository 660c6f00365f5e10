// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orbicrop::avi {
class AviVideoFile;
}

// Raised by TAviWriter; what() is the exact message shown to the user.
// Failures the operating system reports name the file and give its reason in
// words ("Failed to add frame to AVI file PATH: No space left on device"): a
// full disk or a folder that cannot be written is the user's to fix, and a
// bare error number tells them neither what nor where.
class AviError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the frames of one processing run as an uncompressed AVI file with a
// single video stream, at 30 frames per second unless told another rate,
// every frame a key frame:
//   colour     RGB24, BI_RGB, rows bottom-up, BGR, rows padded to 4 bytes;
//   greyscale  Y800, one byte per pixel, rows top-down, rows padded to 4 bytes.
// Past the RIFF size limit (about 1 GiB) the file continues in OpenDML form,
// with an idx1 for the first RIFF so that AVI 1.0 readers still play it.
//
// Life cycle: Idle -> OpenVideo -> Open -> AddFrame/AddGrayFrame (indices
// 0, 1, 2, ...) -> CloseVideo -> Idle; one writer serves any number of files.
// Calls out of that order, frames of another size or kind, and frame indices
// out of sequence throw AviError and write nothing; the open file stays valid.
// A refused write (disk full, file size limit) throws as well; the file keeps
// every frame added before it and CloseVideo still makes it a valid AVI.
//
// Single-threaded: all calls from one thread, or serialised by the caller.
// The process should ignore SIGXFSZ if it may run under a file size limit,
// so that the limit shows up as an error instead of ending the process.
class TAviWriter {
public:
    using TCreatingEvent = std::function<void(TAviWriter& sender, std::int32_t percent, bool& continueWork)>;

    // Default Width and Height are a tenth of the given screen size.
    TAviWriter(std::int32_t screenWidth, std::int32_t screenHeight);
    // Closes an open file as CloseVideo would; never throws.
    ~TAviWriter();
    TAviWriter(const TAviWriter&) = delete;
    TAviWriter& operator=(const TAviWriter&) = delete;

    // Frame size in pixels for the next OpenVideo; the frames must match it.
    std::int32_t Height() const { return m_height; }
    void setHeight(std::int32_t value) { m_height = value; }
    std::int32_t Width() const { return m_width; }
    void setWidth(std::int32_t value) { m_width = value; }
    // Stored only: the stream's rate is setFrameRate's.
    std::int32_t FrameTime() const { return m_frameTime; }
    void setFrameTime(std::int32_t value) { m_frameTime = value; }
    // Frames per second as rate / scale (30 / 1 until set), kept in the
    // headers as that ratio, so that 60000 / 1001 plays at NTSC's 59.94
    // exactly. It holds for the files opened after, and for the one open
    // now, whose headers take it when it is closed. Refuses, with AviError
    // and keeping the old rate, a zero and a rate below one frame in 4000
    // seconds, whose frame time the main header cannot hold.
    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t Scale() const { return m_scale; }
    void setFrameRate(std::uint32_t rate, std::uint32_t scale);
    // Path of the file that OpenVideo creates; an existing file is replaced.
    const std::string& FileName() const { return m_fileName; }
    void setFileName(const std::string& value) { m_fileName = value; }
    // Stored only. The setter ignores a value equal to the current one but
    // for letter case, and refuses one whose extension is not ".wav" (in any
    // case) with AviError, keeping the old value.
    const std::string& WavFileName() const { return m_wavFileName; }
    void setWavFileName(const std::string& value);
    // Stored only.
    bool DeleteFiles() const { return m_deleteFiles; }
    void setDeleteFiles(bool value) { m_deleteFiles = value; }
    bool PlayAvi() const { return m_playAvi; }
    void setPlayAvi(bool value) { m_playAvi = value; }
    const TCreatingEvent& OnCreating() const { return m_onCreating; }
    void setOnCreating(TCreatingEvent value) { m_onCreating = std::move(value); }
    const TCreatingEvent& OnSaving() const { return m_onSaving; }
    void setOnSaving(TCreatingEvent value) { m_onSaving = std::move(value); }

    // Creates FileName for Width x Height frames, Y800 when grayscale is true
    // and RGB24 otherwise, and writes the headers, the format block included.
    void OpenVideo(bool grayscale);

    // Appends a colour frame: the bitmap's stored rows as they are (bottom
    // row first). index must be the number of frames written so far.
    void AddFrame(const OutputBitmap& bitmap, std::int32_t index);

    // Appends a greyscale frame. The bitmap gives the size only; plane holds
    // width x height bytes, top row first, and stays the caller's.
    void AddGrayFrame(const OutputBitmap& bitmap, const std::uint8_t* plane, std::int32_t index);

    // Writes the index and the final counts and closes the file. The writer
    // is Idle afterwards even when this throws.
    void CloseVideo();

    bool isOpen() const { return m_file != nullptr; }
    std::int32_t framesWritten() const;

    // Size of one RIFF, indexes included, before the next frame starts an
    // OpenDML 'AVIX' RIFF. Meant for tests; takes effect at the next frame.
    void setRiffSizeLimit(std::uint64_t bytes);

private:
    void checkFrame(const char* operation, const OutputBitmap& bitmap, bool grayscale, std::int32_t index) const;
    void writeFrame(const std::uint8_t* data);

    std::int32_t m_height;
    std::int32_t m_width;
    std::int32_t m_frameTime = 1000;
    std::uint32_t m_rate = 30;
    std::uint32_t m_scale = 1;
    std::string m_fileName;
    std::string m_wavFileName;
    bool m_deleteFiles = false;
    bool m_playAvi = false;
    TCreatingEvent m_onCreating;
    TCreatingEvent m_onSaving;

    std::uint64_t m_riffSizeLimit;
    std::unique_ptr<orbicrop::avi::AviVideoFile> m_file;
    std::vector<std::uint8_t> m_rowStaging;   // grey frames whose rows need padding
};
