// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/sequence_output.h"

#include "analysis/debayer_crop.h"
#include "fileio/program_module.h"
#include "output/paths.h"
#include "output/staged_output.h"
#include "stills/stills_module.h"
#include "time/capture_time.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stills = orbicrop::stills;

namespace {

using WriteStill = decltype(&orbicrop_write_still);

// The writers' module, loaded on the first frame of the process's first
// still-image output; null with why, when it cannot be.
struct StillsModule {
    WriteStill write = nullptr;
    std::string problem;
};

const StillsModule& Stills()
{
    static const StillsModule module = [] {
        const LoadedModule loaded = LoadModule(ORBICROP_STILLS_MODULE, kWriteStillSymbol);
        if (loaded.entry == nullptr)
            return StillsModule{
                nullptr, "Cannot write still images: cannot load the module " + loaded.path + " (" + loaded.why + ")"};
        return StillsModule{reinterpret_cast<WriteStill>(loaded.entry), {}};
    }();
    return module;
}

bool IsEmptyFolder(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(path, ec) && std::filesystem::is_empty(path, ec) && !ec;
}

}   // namespace

SequenceOutput::SequenceOutput(OutputFormat format, std::string creator)
    : m_format(format), m_creator(std::move(creator))
{}

void SequenceOutput::open(const std::string& path, std::int32_t, std::int32_t, bool)
{
    if (m_open)
        throw stills::StillError("open called while the folder " + m_folder + " is open; call close first");
    // A staged folder is made (and locked) by StagedOutput before it is
    // handed here, empty.
    if (::mkdir(path.c_str(), 0777) != 0 && !(errno == EEXIST && IsEmptyFolder(path)))
        throw stills::StillError("Couldn't create the folder " + path + ": " + std::strerror(errno));
    m_folder = path;
    m_stem = FileNameOf(StagedOutput::FinalPathOf(path));
    m_frames = 0;
    m_open = true;
}

void SequenceOutput::close()
{
    if (!m_open)
        return;
    m_open = false;
    // Every file of the folder reaches the disk before the folder takes its
    // name: one flush of the file system rather than one per frame.
    const int fd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw stills::StillError("Couldn't open the folder " + m_folder + ": " + std::strerror(errno));
    const int flushed = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (flushed != 0)
        throw stills::StillError("Couldn't write the folder " + m_folder + " to disk: " + std::strerror(error));
}

std::string SequenceOutput::outputPathFor(const std::string& inputPath, const std::string& outputDir, bool) const
{
    std::string path = SerOutputPathFor(inputPath, outputDir);
    path.erase(path.size() - 4);   // ".ser"
    return path;
}

std::string SequenceOutput::framePath(std::int32_t index) const
{
    char number[16];
    std::snprintf(number, sizeof number, "_%06d", index);
    const char* extension = m_format == OutputFormat::Fits ? ".fits" : m_format == OutputFormat::Png ? ".png" : ".tif";
    return m_folder + "/" + m_stem + number + extension;
}

void SequenceOutput::addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t)
{
    if (!m_open)
        throw stills::StillError("A frame came while no folder is open");
    stills::StillImage image;
    image.samples = frame.samples.data();
    image.width = frame.width;
    image.height = frame.height;
    image.planes = frame.planes;
    image.bytesPerSample = frame.bytesPerSample;
    image.depth = frame.depth;
    image.creator = m_creator;
    if (frame.layout == kSamplesBgr) {
        // Still formats hold colour as red, green, blue.
        m_rgb = frame.samples;
        const std::size_t sample = std::size_t(frame.bytesPerSample);
        for (std::size_t at = 0; at + 3 * sample <= m_rgb.size(); at += 3 * sample)
            for (std::size_t b = 0; b < sample; ++b)
                std::swap(m_rgb[at + b], m_rgb[at + 2 * sample + b]);
        image.samples = m_rgb.data();
    }
    if (IsMosaic(frame.layout))
        image.bayer = std::string(MosaicName(MosaicAt(frame.layout, frame.left, frame.top)));
    if (utcTicks)
        image.time = IsoUtcMillis(*utcTicks);
    if (frame.header != nullptr) {
        image.observer = frame.header->observer;
        image.instrument = frame.header->instrument;
        image.telescope = frame.header->telescope;
    }
    // The capture program's notes: the camera where the file names none.
    if (image.instrument.empty())
        image.instrument = notes().camera;
    image.filter = notes().filter;
    image.object = notes().target;
    image.exposureSeconds = notes().exposureSeconds;
    image.gain = notes().gain;
    const std::string path = framePath(m_frames);
    const StillsModule& module = Stills();
    if (module.write == nullptr)
        throw stills::StillError(module.problem);
    const int kind = m_format == OutputFormat::Fits ? kStillFits
        : m_format == OutputFormat::Png             ? kStillPng
                                                    : kStillTiff;
    char why[512] = {};
    if (module.write(kind, path.c_str(), &image, why, sizeof why) != 0)
        throw stills::StillError(why);
    ++m_frames;
}
