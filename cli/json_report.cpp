// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_report.h"

#include "analysis/debayer_crop.h"
#include "time/capture_time.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

std::string Number(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string Bool(bool value)
{
    return value ? "true" : "false";
}

const char* StatusText(FileOutcome::Status status)
{
    switch (status) {
    case FileOutcome::Status::Done: return "done";
    case FileOutcome::Status::Failed: return "failed";
    case FileOutcome::Status::Stopped: return "stopped";
    case FileOutcome::Status::NotRun: return "not processed";
    }
    return "failed";
}

// The masters and hot pixels, only when the run calibrated.
std::string CalibrationFields(const ReportSettings& s)
{
    std::string fields;
    for (const ReportSettings::Master& m : s.masters)
        fields += ", \"" + m.kind + "\": {\"path\": " + JsonString(m.path) + ", \"width\": " + std::to_string(m.width)
            + ", \"height\": " + std::to_string(m.height) + ", \"frames\": " + std::to_string(m.frames) + "}";
    if (!s.hotPixels.empty())
        fields += ", \"hot_pixels\": " + JsonString(s.hotPixels);
    if (s.hotPixelsInDark)
        fields += ", \"hot_pixels_in_dark\": " + std::to_string(*s.hotPixelsInDark);
    return fields.empty() ? fields : ", \"calibration\": {" + fields.substr(2) + "}";
}

// The rotation, flip and meridian flip, each only when given.
std::string OrientationFields(const ColourOptions& c)
{
    return (c.rotate != 0 ? ", \"rotate\": " + std::to_string(c.rotate) : "")
        + (c.flip == Flip::None    ? ""
               : c.flip == Flip::H ? ", \"flip\": \"h\""
                                   : ", \"flip\": \"v\"")
        + (c.meridianFlip ? ", \"meridian_flip\": " + JsonString(ClockText(*c.meridianFlip)) : "");
}

std::string SettingsObject(const ReportSettings& s)
{
    return "{\"threshold_percent\": " + std::to_string(s.threshold) + ", \"width\": " + std::to_string(s.width)
        + ", \"height\": " + std::to_string(s.height) + ", \"mode\": " + JsonString(s.grayscale ? "Y800" : "RGB24")
        + ", \"invert\": " + Bool(s.invert) + ", \"debayer_safe\": " + Bool(s.debayerSafe)
        + ", \"remove_incomplete\": " + Bool(s.removeIncomplete)
        + (s.colour.declaredBayer ? ", \"bayer\": " + JsonString(std::string(NameOf(*s.colour.declaredBayer))) : "")
        + (s.colour.debayer ? ", \"debayer\": " + JsonString(std::string(NameOf(s.colour.method))) : "")
        + (s.fullFrame ? ", \"full_frame\": true" : "") + (s.reject.cut ? ", \"reject_cut\": true" : "")
        + (s.reject.minSize > 0 ? ", \"min_size\": " + std::to_string(s.reject.minSize) : "")
        + (s.reject.maxSaturated ? ", \"max_saturated\": " + Number(*s.reject.maxSaturated) : "")
        + (s.reject.dimPercent ? ", \"reject_dim\": " + Number(*s.reject.dimPercent) : "")
        + (s.frames.whole() ? ""
                            : ", \"frames\": {\"first\": " + std::to_string(s.frames.first)
                   + ", \"last\": " + (s.frames.last ? std::to_string(*s.frames.last) : "null") + "}")
        + (s.join ? ", \"join\": true" : "")
        + (s.timeRange ? ", \"time_range\": " + JsonString(TimeRangeText(*s.timeRange)) : "")
        + (s.segment ? ", \"segment_seconds\": " + std::to_string(*s.segment) : "")
        + (s.fps.isDefault() ? "" : ", \"fps\": " + JsonString(OutputRateText(s.fps)))
        + (s.colour.alignRgb == AlignRgb::Off           ? ""
               : s.colour.alignRgb == AlignRgb::Measure ? ", \"align_rgb\": \"measure\""
                                                        : ", \"align_rgb\": \"correct\"")
        + (s.colour.levels ? ", \"levels\": " + JsonString(LevelsText(*s.colour.levels)) : "")
        + (s.limb ? ", \"centre\": \"limb\"" : "") + (s.sizeAuto ? ", \"size\": \"auto\"" : "") + CalibrationFields(s)
        + OrientationFields(s.colour) + "}";
}

// The frames dropped for each reason the user chose; a reason not chosen
// is left out, so reports of runs without them read as before.
std::string RejectedCounts(const FileOutcome& f, const RejectOptions& reject)
{
    std::string text;
    if (reject.cut)
        text += ", \"cut\": " + std::to_string(f.cut);
    if (reject.minSize > 0)
        text += ", \"small\": " + std::to_string(f.small);
    if (reject.maxSaturated)
        text += ", \"saturated\": " + std::to_string(f.saturated);
    if (reject.dimPercent)
        text += ", \"dim\": " + std::to_string(f.dim);
    return text;
}

std::string FileObject(const FileOutcome& f, const ReportSettings& settings)
{
    std::string o = "    {\n";
    o += "      \"input\": " + JsonString(f.input) + ",\n";
    o += "      \"output\": " + (f.outputPlaced ? JsonString(f.output) : std::string("null")) + ",\n";
    o += "      \"status\": " + JsonString(StatusText(f.status)) + ",\n";
    o += "      \"reason\": " + (f.reason.empty() ? std::string("null") : JsonString(f.reason)) + ",\n";
    // A header's own count where the source read one: a file cut short
    // plays fewer frames than its header names.
    const std::int64_t declared = f.video && f.video->declaredFrames ? *f.video->declaredFrames : f.frameCount;
    o += "      \"frames\": {\"declared\": " + std::to_string(declared) + ", \"seen\": " + std::to_string(f.framesSeen)
        + ", \"written\": " + std::to_string(f.framesWritten) + ", \"dropped\": {\"no_planet\": "
        + std::to_string(f.noPlanet) + ", \"incomplete\": " + std::to_string(f.incomplete) + ", \"not_written\": "
        + std::to_string(f.notWritten) + (f.notKept ? ", \"not_kept\": " + std::to_string(*f.notKept) : std::string())
        + RejectedCounts(f, settings.reject) + (settings.limb ? ", \"no_limb\": " + std::to_string(f.noLimb) : "") + "}"
        + (f.endedEarly ? ", \"ended_early\": true" : "") + "},\n";
    o += "      \"settings\": " + SettingsObject(settings) + ",\n";
    if (settings.sizeAuto && f.cropWidth > 0)
        o += "      \"output_size\": [" + std::to_string(f.cropWidth) + ", " + std::to_string(f.cropHeight) + "],\n";
    if (f.limbRadius)
        o += "      \"limb_radius\": " + Number(*f.limbRadius) + ",\n";
    if (f.dispersion)
        o += "      \"dispersion\": {\"r\": [" + Number(f.dispersion->red.x) + ", " + Number(f.dispersion->red.y)
            + "], \"b\": [" + Number(f.dispersion->blue.x) + ", " + Number(f.dispersion->blue.y) + "]},\n";
    if (f.levels)
        o += "      \"levels\": {\"black\": " + std::to_string(f.levels->black)
            + ", \"white\": " + std::to_string(f.levels->white) + ", \"gamma\": " + Number(f.levels->gamma)
            + ", \"auto\": " + Bool(f.levels->automatic) + "},\n";
    // Each file of a batch may get its own mode from its own first frames.
    if (f.outputPlaced && f.grayscale != settings.grayscale)
        o += "      \"output_mode\": " + JsonString(f.grayscale ? "Y800" : "RGB24") + ",\n";
    if (!f.orientation.empty())
        o += "      \"orientation\": " + JsonString(f.orientation) + ",\n";
    if (f.mosaic != 0)
        o += "      \"mosaic\": {\"pattern\": " + JsonString(std::string(MosaicName(f.mosaic)))
            + ", \"debayered\": " + Bool(f.debayered) + ", \"written_pattern\": "
            + (f.writtenMosaic != 0 ? JsonString(std::string(MosaicName(f.writtenMosaic))) : std::string("null"))
            + "},\n";
    o += "      \"input_video\": ";
    if (f.video) {
        o += "{\"width\": " + std::to_string(f.video->width) + ", \"height\": " + std::to_string(f.video->height)
            + ", \"frame_rate\": " + Number(f.video->frameRate) + ", \"samples\": ";
        if (const auto& s = f.video->samples)
            o += "{\"depth\": " + std::to_string(s->depth)
                + ", \"bytes_per_sample\": " + std::to_string(s->bytesPerSample) + ", \"byte_order\": "
                + JsonString(s->bytesPerSample < 2 ? "none"
                                 : s->bigEndian    ? "big-endian"
                                                   : "little-endian")
                + "}";
        else
            o += "null";
        o += "},\n";
    } else {
        o += "null,\n";
    }
    // A join: each file's frames, whose sums are the counts above.
    if (!f.joined.empty()) {
        o += "      \"joined\": [";
        for (std::size_t i = 0; i < f.joined.size(); ++i)
            o += std::string(i == 0 ? "" : ", ") + "{\"input\": " + JsonString(f.joined[i].input)
                + ", \"first_frame\": " + std::to_string(f.joined[i].firstIndex) + ", \"seen\": "
                + std::to_string(f.joined[i].frames) + ", \"written\": " + std::to_string(f.joined[i].written) + "}";
        o += "],\n";
    }
    if (!f.pieces.empty()) {
        o += "      \"pieces\": [";
        for (std::size_t i = 0; i < f.pieces.size(); ++i)
            o += std::string(i == 0 ? "" : ", ") + JsonString(f.pieces[i]);
        o += "],\n";
    }
    for (const auto& [key, value] :
         {std::pair{"camera", &f.notes.camera}, {"filter", &f.notes.filter}, {"target", &f.notes.target}})
        if (!value->empty())
            o += std::string("      \"") + key + "\": " + JsonString(*value) + ",\n";
    const auto mid = [](const std::optional<std::int64_t>& first, const std::optional<std::int64_t>& last) {
        return first && last ? JsonString(IsoUtc(*first + (*last - *first) / 2)) : std::string("null");
    };
    if (f.firstUtc) {
        o += "      \"capture_mid_time\": " + mid(f.firstUtc, f.lastUtc) + ",\n";
        o += "      \"written_mid_time\": " + mid(f.firstWrittenUtc, f.lastWrittenUtc) + ",\n";
    }
    if (!f.timeFrom.empty())
        o += "      \"time_from\": " + JsonString(f.timeFrom) + ",\n";
    o += "      \"first_frame_time\": " + (f.firstTime ? Number(*f.firstTime) : std::string("null")) + ",\n";
    o += "      \"last_frame_time\": " + (f.lastTime ? Number(*f.lastTime) : std::string("null")) + "\n";
    return o + "    }";
}

}   // namespace

void WriteJsonReport(const std::string& path, const ReportSettings& settings, bool testPassed,
                     const BatchResult& result)
{
    std::string json =
        "{\n  \"test_passed\": " + Bool(testPassed) + ",\n  \"stopped\": " + Bool(result.stopped) + ",\n  \"files\": [";
    for (std::size_t i = 0; i < result.files.size(); ++i)
        json += (i == 0 ? "\n" : ",\n") + FileObject(result.files[i], settings);
    json += result.files.empty() ? "]\n}\n" : "\n  ]\n}\n";

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "w"));
    const auto failed = [&path] {
        return std::runtime_error("Couldn't write the report " + path + ": " + std::strerror(errno));
    };
    if (!file)
        throw failed();
    if (std::fwrite(json.data(), 1, json.size(), file.get()) != json.size())
        throw failed();
    if (std::fclose(file.release()) != 0)
        throw failed();
}
