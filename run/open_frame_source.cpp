// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/open_frame_source.h"

#include "video/avi/plain_avi_source.h"
#include "video/ffmpeg/ffmpeg_module.h"
#include "video/ser/ser_source.h"

#include <filesystem>
#include <system_error>
#include <dlfcn.h>

namespace {

using OpenFfmpegSource = decltype(&orbicrop_open_ffmpeg_source);

// The module beside the running program (the build tree), else in
// ../lib/orbicrop from the program's folder (installed); empty when the
// program's own path cannot be read.
std::filesystem::path FfmpegModulePath()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path folder = program.parent_path();
    const std::filesystem::path beside = folder / ORBICROP_FFMPEG_MODULE;
    if (std::filesystem::exists(beside, error))
        return beside;
    return folder.parent_path() / ORBICROP_MODULE_DIR / ORBICROP_FFMPEG_MODULE;
}

// The module's entry point, or why it cannot be had.
struct FfmpegModule {
    OpenFfmpegSource open = nullptr;
    std::string problem;
};

// A program that cannot load the module still reads SER files and plain
// uncompressed AVIs; every other file fails with the reason, so that a broken
// installation does not pass for broken videos.
FfmpegModule LoadFfmpegModule()
{
    const std::filesystem::path path = FfmpegModulePath();
    // Never closed: the sources it opens run its code until they are
    // destroyed, and loading it once per process is the point. (An empty
    // path is not tried: dlopen would search the library path for it.)
    // Functions are bound on first call, as they were when the programs
    // linked FFmpeg: binding the 130 libraries' functions up front cost
    // every run about 15 ms. A missing library still fails the load here.
    void* module = path.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    void* entry = module != nullptr ? ::dlsym(module, kFfmpegOpenSymbol) : nullptr;
    if (entry == nullptr) {
        const char* why = path.empty() ? "/proc/self/exe cannot be read" : ::dlerror();
        return {nullptr,
                "cannot load the FFmpeg module " + path.string()
                    + ", only SER files and plain uncompressed AVIs can be read: "
                    + (why != nullptr ? why : "no reason given")};
    }
    return {reinterpret_cast<OpenFfmpegSource>(entry), {}};
}

}   // namespace

std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path)
{
    // SER captures by their content, whatever their name: FFmpeg's reader of
    // them swaps the bytes of common 16-bit files and demosaics raw ones.
    if (IsSerFile(path))
        return OpenSerSource(path);
    // Plain uncompressed AVIs need no FFmpeg: loading its libraries costs
    // more than reading a short capture's frames.
    if (std::unique_ptr<FrameSource> avi = OpenPlainAviSource(path))
        return avi;
    static const FfmpegModule ffmpeg = LoadFfmpegModule();
    if (ffmpeg.open == nullptr)
        throw FrameSourceError(SourceFailure::Load, 0, -1, ffmpeg.problem);
    return std::unique_ptr<FrameSource>(ffmpeg.open(path.c_str()));
}
