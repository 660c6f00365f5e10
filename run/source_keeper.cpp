// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/source_keeper.h"

#include <utility>

namespace {

// One source in two runs' hands, one after the other: a run owns its source,
// and the keeper holds on to it between them.
class SharedSource final : public FrameSource {
public:
    explicit SharedSource(std::shared_ptr<FrameSource> source) : m_source(std::move(source)) {}
    std::optional<VideoInfo> video() override { return m_source->video(); }
    void play(const PlayLimits& limits, FrameSink& sink) override { m_source->play(limits, sink); }
    bool replaysAsNew() const override { return m_source->replaysAsNew(); }

private:
    std::shared_ptr<FrameSource> m_source;
};

}   // namespace

SourceKeeper::SourceKeeper(SourceOpener open) : m_open(std::move(open)) {}

std::unique_ptr<FrameSource> SourceKeeper::operator()(const std::string& path)
{
    if (std::shared_ptr<FrameSource> kept = std::exchange(m_kept, nullptr)) {
        // A source that has moved through the file is closed here (once its
        // run has let it go) and the file opened anew.
        if (path == m_keptPath && kept->replaysAsNew())
            return std::make_unique<SharedSource>(std::move(kept));
    }
    const bool keep = std::exchange(m_keeping, false);
    std::shared_ptr<FrameSource> source = m_open(path);
    if (keep) {
        m_kept = source;
        m_keptPath = path;
    }
    return std::make_unique<SharedSource>(std::move(source));
}
