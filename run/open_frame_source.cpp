// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/open_frame_source.h"

#include "fileio/frame_sequence.h"
#include "fileio/program_module.h"
#include "output/paths.h"
#include "video/avi/plain_avi_source.h"
#include "video/ffmpeg/ffmpeg_module.h"
#include "video/frames/frame_folder_source.h"
#include "video/ser/ser_source.h"

#include <filesystem>
#include <system_error>

namespace {

// Only files and disks hold a video to read. FFmpeg's open of a named pipe
// waits for a writer that may never come, where neither Ctrl+C nor a stop
// reaches it; a folder, a socket or a terminal has nothing to give either.
// A path that cannot be looked at is left to the readers, whose failure the
// file run words (a missing file is told as such).
void RefuseWhatIsNoFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_type type = std::filesystem::status(path, error).type();
    if (error || type == std::filesystem::file_type::regular || type == std::filesystem::file_type::block)
        return;
    throw FrameSourceError(SourceFailure::Load, 0, -1, FileNameOf(path) + " is not a regular file");
}

using OpenFfmpegSource = decltype(&orbicrop_open_ffmpeg_source);

// The module's entry point, or why it cannot be had.
struct FfmpegModule {
    OpenFfmpegSource open = nullptr;
    std::string problem;
};

// A program that cannot load the module still reads SER files and plain
// uncompressed AVIs; every other file fails with the reason, so that a broken
// installation does not pass for broken videos. Binding the 130 libraries'
// functions lazily, as when the programs linked FFmpeg, spares every run
// about 15 ms.
FfmpegModule LoadFfmpegModule()
{
    const LoadedModule module = LoadModule(ORBICROP_FFMPEG_MODULE, kFfmpegOpenSymbol);
    if (module.entry == nullptr)
        return {nullptr,
                "cannot load the FFmpeg module " + module.path
                    + ", only SER files and plain uncompressed AVIs can be read: " + module.why};
    return {reinterpret_cast<OpenFfmpegSource>(module.entry), {}};
}

}   // namespace

std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path)
{
    // A folder or glob of still images, one file a frame, is a capture too.
    if (std::optional<std::vector<std::string>> frames = FrameSequenceFiles(path))
        return OpenFrameFolderSource(std::move(*frames));
    RefuseWhatIsNoFile(path);
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
