// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/source_keeper.h"

#include <utility>

namespace {

// One source in two runs' hands, one after the other: a run owns its source,
// and the keeper holds on to it between them. The test's hand tells the
// source that the run follows.
class SharedSource final : public FrameSource {
public:
    SharedSource(std::shared_ptr<FrameSource> source, bool runFollows)
        : m_source(std::move(source)), m_runFollows(runFollows)
    {}
    std::optional<VideoInfo> video() override { return m_source->video(); }
    void play(const PlayLimits& limits, FrameSink& sink) override
    {
        PlayLimits told = limits;
        told.runFollows = told.runFollows || m_runFollows;
        m_source->play(told, sink);
    }
    bool replaysAsNew() const override { return m_source->replaysAsNew(); }

private:
    std::shared_ptr<FrameSource> m_source;
    bool m_runFollows;
};

}   // namespace

SourceKeeper::SourceKeeper(SourceOpener open, bool runFollows) : m_open(std::move(open)), m_runFollows(runFollows) {}

std::unique_ptr<FrameSource> SourceKeeper::operator()(const std::string& path)
{
    if (std::shared_ptr<FrameSource> kept = std::exchange(m_kept, nullptr)) {
        // A source that has moved through the file is closed here (once its
        // run has let it go) and the file opened anew.
        if (path == m_keptPath && kept->replaysAsNew())
            return std::make_unique<SharedSource>(std::move(kept), false);
    }
    const bool keep = std::exchange(m_keeping, false);
    std::shared_ptr<FrameSource> source = m_open(path);
    if (keep) {
        m_kept = source;
        m_keptPath = path;
    }
    return std::make_unique<SharedSource>(std::move(source), keep && m_runFollows);
}
