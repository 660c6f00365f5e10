// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/sample_crop.h"
#include "output/batch_output.h"

#include <optional>

// A batch output that keeps samples (SER, still images): the frame handler
// hands it every frame through addSamples; callers that hand 8-bit crops
// directly get them as the samples an 8-bit source gives (SamplesOfCrop),
// without a capture time.
class SampleOutput : public BatchOutput {
public:
    bool takesSamples() const override { return true; }
    void addColorFrame(const OutputBitmap& bitmap, std::int32_t index) override
    {
        SamplesOfCrop(bitmap, nullptr, m_converted);
        addSamples(m_converted, std::nullopt, index);
    }
    void addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index) override
    {
        SamplesOfCrop(bitmap, &plane, m_converted);
        addSamples(m_converted, std::nullopt, index);
    }

    void noteCapture(const CaptureNotes& notes) override { m_notes = notes; }

protected:
    // What the capture program wrote of the file being written.
    const CaptureNotes& notes() const { return m_notes; }

private:
    SampleFrame m_converted;
    CaptureNotes m_notes;
};
