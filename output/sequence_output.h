// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/output_format.h"
#include "output/sample_output.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A batch's outputs as folders of still images, one file a written frame:
// NAME_orbic/NAME_orbic_000000.tif, ... in written order (six digits from 0),
// in TIFF, FITS or PNG. The samples are the source's own, as a SER output
// keeps them: two-byte samples give 16-bit files with their values
// unchanged, one-byte samples 8-bit files; mono stays mono, a mosaic stays a
// mosaic (its pattern, at the crop's origin, in a FITS header), and colour
// is RGB. Each file carries the frame's capture time where it is known, and
// a FITS file the SER header's observer, camera and telescope.
//
// open() makes the folder (its files are named after the final folder, so
// that a staged folder can be renamed into place whole); close() flushes
// every file to disk. The path a folder is opened under may be a staged one
// (see StagedOutput::FinalPathOf).
class SequenceOutput final : public SampleOutput {
public:
    // format is one of the still formats; creator names the program and its
    // version in every file.
    SequenceOutput(OutputFormat format, std::string creator);

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    // NAME_orbic in outputDir, in either mode.
    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir,
                              bool grayscale) const override;
    bool writesFolder() const override { return true; }
    void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index) override;

    // The file of the frame written index-th into folder.
    std::string framePath(std::int32_t index) const;

private:
    OutputFormat m_format;
    std::string m_creator;
    bool m_open = false;
    std::string m_folder;   // as opened
    std::string m_stem;     // the final folder's name
    std::int32_t m_frames = 0;
    std::vector<std::uint8_t> m_rgb;   // a BGR frame's samples turned to RGB
};
