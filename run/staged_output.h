// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_output.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// The final name could not be given to a finished output; the frames stay in
// the temporary file that the message names.
class OutputPlacementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a batch output under a temporary name in the folder of its final
// name, so that an older output of that name survives a run that writes
// nothing. close() renames the file over the final name when it took at
// least one frame (also after an interruption: those frames are the user's
// result, and the writer leaves the file valid) and removes it otherwise.
//
// The temporary name is ".NAME.partial-PID" beside NAME: hidden, and
// distinct for each process, so a leftover of a crashed run never stands in
// the way; one of the same process is replaced. open() also removes the
// leftovers of NAME whose process no longer exists.
//
// The file's data is flushed to disk before the rename and the folder after
// it, so that after a crash or a power cut the final name holds either the
// older output or the whole new one.
//
// An output may be a folder (a sequence of still images): it is staged the
// same way, and an older folder of the final name is swapped out in one
// step (renameat2 RENAME_EXCHANGE) and then removed, so that no reader ever
// sees frames of two runs in one folder.
//
// The final name is the one open() was given, or the one the wrapped output
// asks for in its place (finalPathFor) once its frames are known.
//
// Several processes may write the same output at once (a scheduler running
// one file per process, a file chosen twice): each stages under its own
// name, and a name that was free when open() was called goes to the first
// that finishes; a later one does not replace it but reports the clash
// (OutputPlacementError) and keeps its frames in its temporary file. A name
// an older output held when open() was called is replaced, as a rerun
// replaces its older output.
//
// close() throws what the wrapped output's close() throws (after settling
// the file all the same), or OutputPlacementError when the flush or the
// rename fails (the file then keeps its temporary name).
class StagedOutput final : public BatchOutput {
public:
    explicit StagedOutput(BatchOutput& output) : m_output(output) {}
    ~StagedOutput() override;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override;
    bool isOpen() const override { return m_output.isOpen(); }

    void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) override;
    void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) override;
    bool takesSamples() const override { return m_output.takesSamples(); }
    void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index) override;

    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale) const override
    {
        return m_output.outputPathFor(inputPath, outputDir, grayscale);
    }
    std::string closingNote() const override { return m_output.closingNote(); }

    // Whether the last close() put a file under the final name.
    bool placed() const { return m_placed; }
    // The name it took: the wrapped output's final name for the one opened.
    const std::string& placedPath() const { return m_placedPath; }

    static std::string TemporaryPathFor(const std::string& finalPath);
    // The final path a temporary one stands for; any other path is its own.
    static std::string FinalPathOf(const std::string& path);

private:
    void settle();

    BatchOutput& m_output;
    std::string m_finalPath;
    std::string m_temporaryPath;
    std::string m_placedPath;
    std::int64_t m_frames = 0;
    bool m_pending = false;   // a temporary file waits to be renamed or removed
    bool m_placed = false;
    bool m_finalWasFree = false;   // nothing had the final name when open() was called
};
