// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "avi/avi_writer.h"
#include "output/batch_output.h"
#include "output/paths.h"

#include <memory>

// A batch's outputs as uncompressed AVIs, through the shell's one writer,
// or through a writer of its own (one for each file a batch runs at once).
class AviOutput final : public BatchOutput {
public:
    explicit AviOutput(TAviWriter& writer) : m_writer(writer) {}
    AviOutput() : m_own(std::make_unique<TAviWriter>(0, 0)), m_writer(*m_own) {}

    void open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale) override;
    void close() override { m_writer.CloseVideo(); }
    bool isOpen() const override { return m_writer.isOpen(); }
    std::string outputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale) const override
    {
        return OutputPathFor(inputPath, outputDir, grayscale);
    }

    // Every file opened from now on plays at rate, and the one open now.
    bool playAt(const FrameRate& rate) override;

    void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) override { m_writer.AddFrame(bitmap, index); }
    void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) override
    {
        m_writer.AddGrayFrame(bitmap, plane.data(), index);
    }

private:
    std::unique_ptr<TAviWriter> m_own;
    TAviWriter& m_writer;
    // Kept here, not only in the writer: the window's one writer serves
    // every batch, and each batch's outputs start at the default.
    FrameRate m_rate;
};
