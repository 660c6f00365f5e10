// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output/sample_output.h"
#include "ser/ser_writer.h"

#include <cstdint>
#include <optional>
#include <string>

// A batch's outputs as SER files that keep the source's own samples: its
// depth, its colour mosaic, its header and the time of every frame.
//
// open() makes an empty file (and throws SerError when it cannot); the first
// frame fixes the format and writes the header: the crop of
// the source's samples (a mosaic's colour id shifted to the crop's origin) or,
// from an 8-bit source, the bytes the AVI output would hold, mono or BGR.
// Every later frame must share it; one that does not is refused. The header
// of a SER source is carried over; otherwise both its dates are the first
// frame's time, or 0 when it has none. The time stamps follow the frames
// when every frame has one.
//
// With winJuposName the closed file is named after the middle of its frames'
// times (see WinJuposPrefix), when every frame has one; otherwise it keeps
// the plain name, and closingNote() says so.
class SerOutput final : public SampleOutput {
public:
    explicit SerOutput(bool winJuposName = false) : m_winJuposName(winJuposName) {}

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir,
                              bool grayscale) const override;
    std::string finalPathFor(const std::string& openedPath) const override;
    std::string closingNote() const override;
    bool timesEveryFrameOrNone() const override { return true; }

    void addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index) override;

private:
    void start(const SampleFrame& frame, std::optional<std::int64_t> utcTicks);

    orbicrop::ser::SerWriter m_writer;
    bool m_winJuposName;
    bool m_open = false;
    std::string m_path;
    std::int32_t m_frames = 0;
    bool m_allTimed = true;
    std::int64_t m_firstTime = 0;
    std::int64_t m_lastTime = 0;
};
