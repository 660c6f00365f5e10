// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/track_writer.h"

#include "analysis/debayer_crop.h"
#include "capture/sidecar.h"
#include "output/paths.h"
#include "time/capture_time.h"

#include <stdexcept>

namespace {

// File names may hold commas or quotes; quote them as CSV does.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

}   // namespace

TrackWriter::TrackWriter(const std::string& path, TrackColumns columns)
    : m_file(std::fopen(path.c_str(), "w")), m_columns(columns)
{
    if (!m_file)
        throw std::runtime_error("Couldn't create the track file " + path);
    std::fputs("file,frame,time,center_x,center_y,radius_x,radius_y,outcome", m_file.get());
    if (m_columns.utc)
        std::fputs(",utc", m_file.get());
    if (m_columns.quality)
        std::fputs(",quality", m_file.get());
    if (m_columns.shift)
        std::fputs(",shift_x,shift_y", m_file.get());
    if (m_columns.bayer)
        std::fputs(",bayer", m_file.get());
    if (m_columns.capture)
        std::fputs(",camera,filter,target", m_file.get());
    if (m_columns.limb)
        std::fputs(",limb_radius", m_file.get());
    std::fputc('\n', m_file.get());
}

const std::string& TrackWriter::captureColumns(const std::string& path)
{
    const auto known = m_captureColumns.find(path);
    if (known != m_captureColumns.end())
        return known->second;
    const auto facts = orbicrop::capture::SidecarFacts(path);
    const auto column = [&](const std::optional<std::string>& value) {
        return "," + (facts && value ? Quoted(*value) : std::string());
    };
    return m_captureColumns[path] =
               facts ? column(facts->camera) + column(facts->filter) + column(facts->target) : std::string(",,,");
}

void TrackWriter::write(const std::string& path, std::int32_t inputHeight, const FrameRecord& record)
{
    const std::string fileName = FileNameOf(path);
    // Frames are analysed with y counted from the bottom row; people and
    // image tools count from the top.
    const double pictureY = double(inputHeight - 1) - record.centerY;
    std::fprintf(m_file.get(), "%s,%d,%.6f,%.4f,%.4f,%.4f,%.4f,%s", Quoted(fileName).c_str(), record.index,
                 record.sampleTime, record.centerX, pictureY, record.radiusX, record.radiusY,
                 OutcomeText(record.outcome));
    if (m_columns.utc)
        std::fprintf(m_file.get(), ",%s", record.utcTicks ? IsoUtc(*record.utcTicks).c_str() : "");
    if (m_columns.quality)
        std::fprintf(m_file.get(), ",%.4f", record.quality);
    if (m_columns.shift)
        std::fprintf(m_file.get(), ",%.3f,%.3f", record.shiftX, record.shiftY);
    if (m_columns.bayer)
        std::fprintf(m_file.get(), ",%s", std::string(MosaicName(record.mosaic)).c_str());
    if (m_columns.capture)
        std::fputs(captureColumns(path).c_str(), m_file.get());
    if (m_columns.limb && record.limbRadius > 0.0)
        std::fprintf(m_file.get(), ",%.4f", record.limbRadius);
    else if (m_columns.limb)
        std::fputc(',', m_file.get());
    std::fputc('\n', m_file.get());
}
