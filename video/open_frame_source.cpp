#include "video/frame_source.h"

#include "video/ffmpeg_source.h"

extern "C" {
#include <libavutil/log.h>
}

#include <mutex>

std::unique_ptr<FrameSource> OpenFrameSource(const std::string& path)
{
    // Damaged frames are skipped on purpose and every failure reaches the
    // user as an exception, so FFmpeg's own messages would only be noise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    return std::make_unique<FfmpegSource>(path);
}
