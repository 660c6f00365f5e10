// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output/batch_output.h"
#include "output/output_claims.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// The final name could not be given to a finished output; the message says
// where its frames are.
class OutputPlacementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a batch output under a temporary name in the folder of its final
// name, so that an older output of that name survives a run that writes
// nothing. close() gives the file its final name when it took at least one
// frame (also after a stop: those frames are the user's result, and the
// writer leaves the file valid) and removes it otherwise.
//
// The temporary name is ".NAME.partial-PID" beside NAME (".NAME.partial-PID.2"
// and on when that is taken, ".NAM~.partial-PID" for a NAME too long to
// take the additions): hidden, and made only where nothing has the name. The
// run holds a lock on it (flock) while it writes, so a leftover of a run
// that was killed or lost its power is told from a live run's file by the
// lock alone, whatever process ids other machines or containers sharing the
// folder use: open() removes the leftovers of NAME that nobody holds.
//
// The file's data is flushed to disk before the rename and the folder after
// it, so that after a crash or a power cut the final name holds either the
// older output or the whole new one.
//
// An output may be a folder (a sequence of still images): it is staged the
// same way, and an older folder of the final name is swapped out in one
// step (renameat2 RENAME_EXCHANGE) and then removed, so that no reader ever
// sees frames of two runs in one folder; a folder is replaced only when it
// holds nothing but frames (ForeignEntryIn).
//
// The final name is the one open() was given, or the one the wrapped output
// asks for in its place (finalPathFor) once its frames are known; such a
// name is claimed through the batch's OutputClaims before it is taken, so
// it never replaces an input or another file's output.
//
// Several processes may write the same output at once (a scheduler running
// one file per process, a file chosen twice): each stages under its own
// name, and a name that was free when open() was called goes to the first
// that finishes. A name an older output held when open() was called is
// replaced, as a rerun replaces its older output, unless the run failed
// (runFailed()): a failed run's frames never take the place of an older
// output.
//
// Frames that cannot take the final name are moved to a visible name beside
// it ("NAME-incomplete.EXT" for a failed run, "NAME-2.EXT" and on for a
// refused or taken name), so that no later run mistakes them for a
// leftover, and close() says where (OutputPlacementError).
//
// close() throws what the wrapped output's close() throws (after settling
// the file all the same, as a failed run), or OutputPlacementError when the
// frames did not take the final name.
class StagedOutput final : public BatchOutput {
public:
    // claims, when given, rules the final name (input: the file whose output it is).
    explicit StagedOutput(BatchOutput& output, OutputClaims* claims = nullptr, std::string input = {})
        : m_output(output), m_claims(claims), m_input(std::move(input))
    {}
    ~StagedOutput() override;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override;
    bool isOpen() const override { return m_output.isOpen(); }

    void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) override;
    void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) override;
    bool playAt(const FrameRate& rate) override { return m_output.playAt(rate); }
    bool takesSamples() const override { return m_output.takesSamples(); }
    void noteCapture(const CaptureNotes& notes) override { m_output.noteCapture(notes); }
    void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index) override;

    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale) const override
    {
        return m_output.outputPathFor(inputPath, outputDir, grayscale);
    }
    std::string closingNote() const override { return m_output.closingNote(); }

    // The run writing into this output failed (an error of the source or
    // the output): its frames may not replace an older output.
    void runFailed() { m_failed = true; }

    // Whether the last close() put a file under the final name.
    bool placed() const { return m_placed; }
    // The name it took: the wrapped output's final name for the one opened.
    const std::string& placedPath() const { return m_placedPath; }

    // The first temporary name this process tries for finalPath.
    static std::string TemporaryPathFor(const std::string& finalPath);
    // The final path a temporary one stands for; any other path is its own.
    static std::string FinalPathOf(const std::string& path);

private:
    void stage(const std::string& finalPath);
    void settle();
    [[noreturn]] void keepAside(const std::string& finalPath, const std::string& why, bool failed);

    BatchOutput& m_output;
    OutputClaims* m_claims;
    std::string m_input;
    int m_lock = -1;   // the descriptor holding the temporary file's lock
    std::string m_finalPath;
    std::string m_temporaryPath;
    std::string m_placedPath;
    std::int64_t m_frames = 0;
    bool m_pending = false;   // a temporary file waits to be renamed or removed
    bool m_placed = false;
    bool m_finalWasFree = false;   // nothing had the final name when open() was called
    bool m_failed = false;
};
