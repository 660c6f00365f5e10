// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "run/batch_result.h"
#include "run/file_run.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What each file of a join delivered, kept up to date while the join plays.
using JoinedParts = std::vector<JoinedPart>;

// Why the files cannot be joined into one output, naming the first file
// that differs from the first one and how: frame size, and for files that
// name their samples (SER) the colour layout and depth (the depth a SER
// header declares; the bits the data use only where no header tells). Also
// a file that cannot be opened or holds no video, a file given twice (by
// device and inode: under two spellings or through a link too), and a file
// whose first frame was captured before the last frame of a file before it,
// where the frames carry their capture times (SER time stamps). nullopt
// when they can be joined.
std::optional<std::string> JoinRefusal(const std::vector<std::string>& files, const SourceOpener& open);

// The log's word on a join whose written frames carry capture times of their
// own in some files and not in others, into an output that keeps them only
// when every frame has one (see BatchOutput::timesEveryFrameOrNone), naming
// the files without; nullopt when there is nothing to say. pieces: the
// output is cut into pieces, each of which keeps its own times.
std::optional<std::string> UnstampedPartsNote(const JoinedParts& parts, bool pieces);

// Several capture files played as one video, one after the other, with one
// file open at a time so that memory does not grow with their number or
// length. Frames are numbered over the whole sequence (a play's first frame
// and a count pass from file to file); presentation times run on from one
// file to the next, by each file's own length; capture times stay each
// frame's own. The files should pass JoinRefusal: the first one's
// description stands for all, with the frame counts and lengths summed, the
// notices of the others named after their files, and for files that name
// their samples the largest depth their data use, at which every frame is
// handed on (see PartSink).
//
// parts, when given, receives what each file delivered.
class JoinedSource final : public FrameSource {
public:
    JoinedSource(std::vector<std::string> files, SourceOpener open, std::shared_ptr<JoinedParts> parts = nullptr);

    std::optional<VideoInfo> video() override;
    void play(const PlayLimits& limits, FrameSink& sink) override;
    // Each play opens its files again.
    bool replaysAsNew() const override { return true; }

private:
    struct Part {
        std::string path;
        std::int32_t frames = 0;   // as its header declares
        double length = 0.0;
        std::int32_t depth = 0;   // the bits its samples use; 0 when it names none
    };
    std::vector<std::string> m_files;
    SourceOpener m_open;
    std::shared_ptr<JoinedParts> m_parts;
    std::vector<Part> m_described;
    std::int32_t m_depth = 0;   // the largest of the parts' depths
};

// An opener that gives a JoinedSource of files whatever path it is asked
// for (the run's current file stands for the join).
SourceOpener JoinedOpener(std::vector<std::string> files, SourceOpener open,
                          std::shared_ptr<JoinedParts> parts = nullptr);

// The depth a SER file's header declares (PixelDepthPerPlane); nothing for
// any other file. Parts of one capture, and the frames of a master, share
// it, whatever bits their samples happen to use.
std::optional<std::int32_t> DeclaredDepthOf(const std::string& path);

// The capture time frame carries of its own (a SER file's time stamp), by
// playing that one frame; nothing for a file whose frames carry none, or
// that cannot be played there.
std::optional<std::int64_t> CaptureTimeOfFrame(FrameSource& source, std::int32_t frame);

// The frames a video holds by its rate and length, as a play delivers them:
// 0 when either cannot be read.
std::int32_t FramesOf(const VideoInfo& info);

// When a file's first and last frames were captured, as far as the frames
// themselves say (a SER file's time stamps); nothing for the others.
struct CaptureSpan {
    std::optional<std::int64_t> first;
    std::optional<std::int64_t> last;
};
CaptureSpan CaptureSpanOf(FrameSource& source, const VideoInfo& video);
