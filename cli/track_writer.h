// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/run_host.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

// The optional columns of a track, each filled by one option.
struct TrackColumns {
    bool utc = false;
    bool quality = false;
    bool shift = false;
    bool bayer = false;
    bool capture = false;
    bool limb = false;
};

// One CSV line per processed frame: where the planet was and what became of
// the frame. Coordinates are picture coordinates: x from the left, y from the top.
// Columns beyond the first eight come only with the options that fill them,
// always in this order at the end: utc (SER output: the frame's UTC capture
// time, ISO 8601, empty when not known), quality (ranked runs), shift_x and
// shift_y (surface mode), bayer (colour mosaics: the arrangement of the
// written frame, RGGB ..., which an AVI cannot name; empty for frames not
// written and files that are no mosaic), camera, filter and target (inputs
// with a capture program's sidecar: what it names, empty where it names
// nothing), limb_radius (centred on the limb: the fitted disc's radius, with
// center_x and center_y its centre; empty where none was fitted). Readers
// of the older columns keep working.
class TrackWriter {
public:
    // Throws std::runtime_error when the file cannot be created.
    explicit TrackWriter(const std::string& path, TrackColumns columns = {});

    // path: the input the frame is of; the line names its file.
    void write(const std::string& path, std::int32_t inputHeight, const FrameRecord& record);

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // The camera, filter and target columns of path, read once.
    const std::string& captureColumns(const std::string& path);

    std::unique_ptr<std::FILE, Closer> m_file;
    TrackColumns m_columns;
    std::map<std::string, std::string> m_captureColumns;
};
