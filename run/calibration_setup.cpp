// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/calibration_setup.h"

#include "analysis/debayer_crop.h"
#include "fileio/program_module.h"
#include "output/paths.h"
#include "run/calibrating_sink.h"
#include "stills/fits_master.h"

#include <array>
#include <cmath>
#include <system_error>

using orbicrop::calibration::Calibrator;
using orbicrop::calibration::DefectMap;
using orbicrop::calibration::Master;
using orbicrop::calibration::MasterKind;
using orbicrop::stills::FitsMaster;

namespace {

// The module's two master functions, loaded on the first master read or
// written; null with why, when they cannot be.
struct MasterModule {
    decltype(&orbicrop_read_master) read = nullptr;
    decltype(&orbicrop_write_master) write = nullptr;
    std::string problem;
};

const MasterModule& Masters()
{
    static const MasterModule module = [] {
        const LoadedModule read = LoadModule(ORBICROP_STILLS_MODULE, kReadMasterSymbol);
        const LoadedModule write = LoadModule(ORBICROP_STILLS_MODULE, kWriteMasterSymbol);
        if (read.entry == nullptr || write.entry == nullptr) {
            const LoadedModule& failed = read.entry == nullptr ? read : write;
            return MasterModule{nullptr, nullptr, "cannot load the module " + failed.path + " (" + failed.why + ")"};
        }
        return MasterModule{reinterpret_cast<decltype(&orbicrop_read_master)>(read.entry),
                            reinterpret_cast<decltype(&orbicrop_write_master)>(write.entry),
                            {}};
    }();
    return module;
}

std::string SizeText(std::int32_t width, std::int32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

std::string Reading(const FitsMaster& fits, bool normalised)
{
    if (normalised)
        return "floats within [0, 1], scaled by the full range of the capture's samples";
    if (fits.bitpix < 0)
        return "floats in the capture's own units";
    return std::to_string(fits.bitpix) + "-bit integers in the capture's own units";
}

LoadedMasters::Stamp StampOf(const std::string& path)
{
    std::error_code ec;
    LoadedMasters::Stamp stamp{path, std::filesystem::file_size(path, ec), {}};
    stamp.time = std::filesystem::last_write_time(path, ec);
    return stamp;
}

bool Current(const LoadedMasters& loaded, const CalibrationOptions& options)
{
    if (!(loaded.options == options))
        return false;
    for (const LoadedMasters::Stamp& stamp : loaded.stamps)
        if (!(StampOf(stamp.path) == stamp))
            return false;
    return true;
}

// Adds the master of path to loaded, checking that it agrees with those before.
void Load(LoadedMasters& loaded, std::optional<Master>& slot, const std::string& path, MasterKind kind)
{
    if (path.empty())
        return;
    std::string reading;
    Master master = ReadMaster(path, kind, reading);
    loaded.readings.push_back(FileNameOf(path) + ": " + reading);
    loaded.stamps.push_back(StampOf(path));
    if (loaded.firstPath.empty()) {
        loaded.width = master.width;
        loaded.height = master.height;
        loaded.planes = master.planes;
        loaded.mosaic = master.mosaic;
        loaded.firstPath = path;
    } else if (master.width != loaded.width || master.height != loaded.height || master.planes != loaded.planes) {
        throw CalibrationError("The master " + FileNameOf(path) + " is " + SizeText(master.width, master.height)
                               + ", the master " + FileNameOf(loaded.firstPath) + " "
                               + SizeText(loaded.width, loaded.height));
    } else if (master.mosaic && loaded.mosaic && *master.mosaic != *loaded.mosaic) {
        throw CalibrationError("The master " + FileNameOf(path) + " is a Bayer " + std::string(NameOf(*master.mosaic))
                               + " mosaic, the master " + FileNameOf(loaded.firstPath) + " a Bayer "
                               + std::string(NameOf(*loaded.mosaic)));
    }
    if (!loaded.mosaic)
        loaded.mosaic = master.mosaic;
    slot = std::move(master);
}

}   // namespace

Master ReadMaster(const std::string& path, MasterKind kind, std::string& reading)
{
    const MasterModule& module = Masters();
    if (module.read == nullptr)
        throw CalibrationError("Cannot read the master " + FileNameOf(path) + ": " + module.problem);
    FitsMaster fits;
    std::array<char, 512> error{};
    if (module.read(path.c_str(), &fits, error.data(), error.size()) != 0)
        throw CalibrationError(error.data());
    Master master;
    master.kind = kind;
    master.width = fits.width;
    master.height = fits.height;
    master.planes = fits.planes;
    master.depth = fits.depth;
    master.mosaic = ParseBayerPattern(fits.bayer);
    master.combined = fits.combined;
    master.exposureSeconds = fits.exposureSeconds;
    master.gain = fits.gain;
    master.normalised = fits.bitpix < 0 && fits.maximum <= 1.0f;
    master.values = std::move(fits.values);
    reading = Reading(fits, master.normalised);
    return master;
}

void WriteMaster(const std::string& path, const Master& master, const std::string& creator)
{
    const MasterModule& module = Masters();
    if (module.write == nullptr)
        throw CalibrationError("Cannot write the master " + FileNameOf(path) + ": " + module.problem);
    FitsMaster fits;
    fits.values = master.values;
    fits.width = master.width;
    fits.height = master.height;
    fits.planes = master.planes;
    fits.bayer = master.mosaic ? std::string(NameOf(*master.mosaic)) : std::string();
    fits.imageType = std::string(ImageTypeOf(master.kind));
    fits.combined = master.combined;
    fits.depth = master.depth;
    fits.exposureSeconds = master.exposureSeconds;
    fits.gain = master.gain;
    fits.creator = creator;
    std::array<char, 512> error{};
    if (module.write(path.c_str(), &fits, error.data(), error.size()) != 0)
        throw CalibrationError(error.data());
}

void TakeMasters(std::shared_ptr<const LoadedMasters>& masters, const CalibrationOptions& options)
{
    if (options.dark.empty() && options.flat.empty() && options.bias.empty() && options.hotPixels != HotPixels::Dark) {
        masters.reset();
        if (options.hotPixels == HotPixels::Auto) {
            auto loaded = std::make_shared<LoadedMasters>();
            loaded->options = options;
            masters = std::move(loaded);
        }
        return;
    }
    if (masters && Current(*masters, options))
        return;
    masters.reset();
    if (options.hotPixels == HotPixels::Dark && options.dark.empty())
        throw CalibrationError("Hot pixels are found in the master dark, and no master dark is chosen");
    auto loaded = std::make_shared<LoadedMasters>();
    loaded->options = options;
    Load(*loaded, loaded->masters.dark, options.dark, MasterKind::Dark);
    Load(*loaded, loaded->masters.flat, options.flat, MasterKind::Flat);
    Load(*loaded, loaded->masters.bias, options.bias, MasterKind::Bias);
    if (options.hotPixels == HotPixels::Dark)
        loaded->darkDefects = orbicrop::calibration::FindDefectsInDark(*loaded->masters.dark);
    masters = std::move(loaded);
}

std::optional<std::string> MasterMismatch(const LoadedMasters& loaded, const std::string& path, const VideoInfo& info,
                                          std::int32_t mosaic)
{
    if (loaded.firstPath.empty())
        return std::nullopt;
    if (info.width != loaded.width || info.height != loaded.height)
        return "The master " + FileNameOf(loaded.firstPath) + " is " + SizeText(loaded.width, loaded.height) + ", "
            + FileNameOf(path) + " " + SizeText(info.width, info.height) + ": it cannot calibrate it";
    const std::optional<BayerPattern> own = CalibrationMosaic(mosaic);
    if (loaded.mosaic && own && *loaded.mosaic != *own)
        return "The master " + FileNameOf(loaded.firstPath) + " is a Bayer " + std::string(NameOf(*loaded.mosaic))
            + " mosaic, " + FileNameOf(path) + " a Bayer " + std::string(NameOf(*own)) + ": it cannot calibrate it";
    return std::nullopt;
}

float NormalisedRange(std::int32_t depth)
{
    return depth > 8 ? 65535.0f : 255.0f;
}

Calibrator CalibratorFor(const LoadedMasters& loaded, std::int32_t depth, std::int32_t mosaic, DefectMap defects)
{
    orbicrop::calibration::CalibrationMasters masters = loaded.masters;
    const float fullRange = NormalisedRange(depth);
    for (std::optional<Master>* master : {&masters.dark, &masters.flat, &masters.bias}) {
        if (!*master)
            continue;
        if ((*master)->normalised)
            for (float& value : (*master)->values)
                value *= fullRange;
        if (!(*master)->mosaic)
            (*master)->mosaic = CalibrationMosaic(mosaic);
    }
    return Calibrator(masters, std::move(defects));
}

std::vector<std::string> CalibrationLines(const LoadedMasters& loaded, const DefectMap& defects, HotPixels hotPixels)
{
    std::vector<std::string> lines;
    const auto named = [&](const std::optional<Master>& master, const std::string& path, const char* what) {
        if (master)
            lines.push_back(std::string(" - Calibrated with the master ") + what + " " + FileNameOf(path) + " ("
                            + std::to_string(master->combined) + " frames)");
    };
    named(loaded.masters.dark, loaded.options.dark, "dark");
    named(loaded.masters.flat, loaded.options.flat, "flat");
    named(loaded.masters.bias, loaded.options.bias, "bias");
    for (const std::string& reading : loaded.readings)
        lines.push_back(" - Read " + reading);
    if (hotPixels != HotPixels::Off)
        lines.push_back(" - " + std::to_string(defects.hot.size()) + " hot and " + std::to_string(defects.cold.size())
                        + " cold pixels repaired, found in "
                        + (hotPixels == HotPixels::Dark ? "the master dark" : "the frames"));
    return lines;
}
