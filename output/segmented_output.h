// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output/batch_output.h"
#include "output/output_claims.h"
#include "output/staged_output.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A batch output cut into pieces of at most `seconds` of capture time each,
// on a grid that starts at the file's first written frame: a frame goes into
// the piece of its slot, and a frame of a later slot closes the piece in hand
// and opens the next. Each piece is a complete output of the wrapped kind,
// staged as a single output is (see StagedOutput), named after the name
// open() is given with "_partK" before its extension (K from 1, in written
// order), or by the wrapped output's own name for its frames (a SER named
// after their mid-time keeps "_partK" after it, so no two pieces share a
// name).
//
// Frames are timed by their capture time; a file whose first written frame
// has none is timed by its presentation times, which closingNote() tells.
// A piece's name is given by the batch's rule (OutputClaims): its opening
// refuses a name that would replace one of the chosen inputs or another
// file's output (the frame that asked for it then fails), as the batch
// refuses a single output that would. A piece never spans more than
// `seconds`: a frame whose time lies outside the piece in hand's slot,
// before it as well as after, opens the next piece.
//
// One SegmentedOutput serves every file of a batch in turn. close() throws
// as StagedOutput::close() does.
class SegmentedOutput final : public BatchOutput {
public:
    SegmentedOutput(BatchOutput& output, double seconds, OutputClaims& claims);
    SegmentedOutput(const SegmentedOutput&) = delete;
    SegmentedOutput& operator=(const SegmentedOutput&) = delete;

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override;
    bool isOpen() const override { return m_open; }

    void nextFrameAt(double sampleTime, std::optional<std::int64_t> utcTicks) override;
    void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) override;
    void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) override;
    bool writesFolder() const override { return m_output.writesFolder(); }
    bool playAt(const FrameRate& rate) override { return m_output.playAt(rate); }
    bool takesSamples() const override { return m_output.takesSamples(); }
    void noteCapture(const CaptureNotes& notes) override { m_output.noteCapture(notes); }
    void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index) override;

    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale) const override
    {
        return m_output.outputPathFor(inputPath, outputDir, grayscale);
    }
    std::string closingNote() const override;

    // The input whose output the next open() makes; claims are made in its name.
    void setInput(std::string input) { m_input = std::move(input); }
    // The run writing into the piece in hand failed (see StagedOutput).
    void runFailed();

    // The pieces of the file last opened that took their final names, in order.
    const std::vector<std::string>& placedPaths() const { return m_placedPaths; }

    // After a whole run into pieces, removes what an older run of the same
    // output left beyond them: pieces of the plain name with a higher
    // number, and pieces named after their mid-time (WinJuposPrefix) with a
    // higher number whose time lies within this run's frames. Only files
    // (or folders of nothing but frames) that are no input and no other
    // file's output go. Returns their names.
    std::vector<std::string> removeOlderPieces();

    // "jup_orbic.ser", 2 -> "jup_orbic_part2.ser".
    static std::string PiecePathFor(const std::string& path, std::int32_t piece);

private:
    void openPiece();
    void closePiece();

    BatchOutput& m_output;
    double m_seconds;
    OutputClaims& m_claims;
    std::string m_input;
    std::unique_ptr<StagedOutput> m_staged;
    std::string m_path;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    bool m_grayscale = false;
    bool m_open = false;
    std::int32_t m_piece = 0;         // of the file, from 1
    std::int32_t m_pieceFrames = 0;   // frames in the piece in hand
    std::optional<double> m_start;    // the file's first written frame, seconds
    double m_last = 0.0;              // the latest frame's, seconds
    std::int64_t m_slot = 0;          // the piece in hand's place on the grid
    bool m_byStream = false;          // timed by presentation times
    std::vector<std::string> m_placedPaths;
    std::vector<std::string> m_notes;
};
