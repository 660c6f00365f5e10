// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/make_master.h"

#include "analysis/debayer_crop.h"
#include "output/paths.h"
#include "run/calibrating_sink.h"
#include "run/calibration_setup.h"
#include "run/joined_source.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

using orbicrop::calibration::ConstSampleImage;
using orbicrop::calibration::Master;
using orbicrop::calibration::MasterCombiner;
using orbicrop::calibration::MasterKind;

namespace {

// What the first input's frames are, which every other input must match.
struct FrameKind {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planes = 1;
    std::int32_t depth = 8;
    std::int32_t mosaic = 0;
    std::string path;
};

std::string Describe(const FrameKind& kind)
{
    const std::string colour = kind.planes == 3 ? "colour"
        : IsMosaic(kind.mosaic)                 ? "a " + std::string(MosaicName(kind.mosaic)) + " mosaic"
                                                : "mono";
    return std::to_string(kind.width) + " x " + std::to_string(kind.height) + ", " + colour + ", "
        + std::to_string(kind.depth) + "-bit";
}

// Hands every frame of a pass to the combiner; the first frame of the first
// input settles what the others must be.
class CombiningSink final : public WholeFrameSink {
public:
    CombiningSink(MasterCombiner* combiner, std::optional<FrameKind>& first, FrameKind& file, const Master* offset,
                  RunReport& report, std::int32_t& done)
        : m_combiner(combiner), m_first(first), m_file(file), m_offset(offset), m_report(report), m_done(done)
    {}
    std::int32_t FrameCB(const SourceFrame& frame) override
    {
        const ConstSampleImage image = SamplesOf(frame, m_file.width, m_file.height, m_file.mosaic);
        m_file.planes = image.planes;
        m_file.depth = DeclaredDepth(image);
        if (!m_first)
            m_first = m_file;
        if (m_file.width != m_first->width || m_file.height != m_first->height || m_file.planes != m_first->planes
            || m_file.depth != m_first->depth || m_file.mosaic != m_first->mosaic)
            throw CalibrationError("Cannot make the master: the frames of " + FileNameOf(m_file.path) + " are "
                                   + Describe(m_file) + ", those of " + FileNameOf(m_first->path) + " "
                                   + Describe(*m_first));
        if (m_combiner != nullptr)
            m_combiner->add(image, m_offset);
        m_report.setProgress(++m_done);
        return 0;
    }

private:
    // Frames whose samples use fewer bits than the file declares are still of its depth.
    std::int32_t DeclaredDepth(const ConstSampleImage& image)
    {
        if (!m_declared)
            m_declared = DeclaredDepthOf(m_file.path).value_or(0);
        return std::max(*m_declared, image.depth);
    }

    std::optional<std::int32_t> m_declared;
    MasterCombiner* m_combiner;
    std::optional<FrameKind>& m_first;
    FrameKind& m_file;
    const Master* m_offset;
    RunReport& m_report;
    std::int32_t& m_done;
};

// Plays every input once; with no combiner yet, only to learn the frames.
void PlayInputs(const MasterRequest& request, const SourceOpener& open, MasterCombiner* combiner,
                std::optional<FrameKind>& first, const Master* offset, RunReport& report, std::int32_t& done)
{
    for (const std::string& path : request.inputs) {
        const auto [source, video] = OpenDescribed(path, open);
        if (!source)
            throw CalibrationError("Cannot make the master: " + FileNameOf(path) + " is no capture we read");
        if (!video)
            throw CalibrationError("Cannot make the master: " + FileNameOf(path) + " holds no video");
        FrameKind file;
        file.width = video->width;
        file.height = video->height;
        file.path = path;
        file.mosaic = FileMosaic(*video, request.colour);
        CombiningSink sink(combiner, first, file, offset, report, done);
        try {
            source->play({}, sink);
        } catch (const FrameSourceError&) {
            throw CalibrationError("Cannot make the master: the frames of " + FileNameOf(path)
                                   + " cannot be read to the end");
        }
    }
}

std::optional<Master> OffsetFor(const MasterRequest& request, const FrameKind& first)
{
    const std::string& path = !request.bias.empty() ? request.bias : request.darkFlat;
    if (path.empty())
        return std::nullopt;
    std::string reading;
    Master offset = ReadMaster(path, request.bias.empty() ? MasterKind::Dark : MasterKind::Bias, reading);
    if (offset.width != first.width || offset.height != first.height || offset.planes != first.planes)
        throw CalibrationError("The master " + FileNameOf(path) + " is " + std::to_string(offset.width) + " x "
                               + std::to_string(offset.height) + ", the frames of " + FileNameOf(first.path) + " "
                               + std::to_string(first.width) + " x " + std::to_string(first.height));
    if (offset.normalised) {
        const float fullRange = NormalisedRange(first.depth);
        for (float& value : offset.values)
            value *= fullRange;
    }
    return offset;
}

}   // namespace

Master MakeMaster(const MasterRequest& request, RunReport& report, const SourceOpener& open)
{
    if (request.inputs.empty())
        throw CalibrationError("Cannot make the master: no capture is given");
    std::optional<FrameKind> first;
    std::int32_t counted = 0;
    // A first pass without a combiner counts the frames for the progress and
    // checks every input before the long work starts.
    PlayInputs(request, open, nullptr, first, nullptr, report, counted);
    if (!first || counted == 0)
        throw CalibrationError("Cannot make the master: the captures hold no frame");
    const std::optional<Master> offset = OffsetFor(request, *first);
    MasterCombiner combiner(request.kind, first->width, first->height, first->planes, request.method);
    report.setProgressMax(counted * combiner.passes());
    std::int32_t done = 0;
    for (std::int32_t pass = 0; pass < combiner.passes(); ++pass) {
        PlayInputs(request, open, &combiner, first, offset ? &*offset : nullptr, report, done);
        combiner.endPass();
        report.appendLog(" - Pass " + std::to_string(pass + 1) + " of " + std::to_string(combiner.passes()) + ": "
                             + std::to_string(counted) + " frames",
                         true);
    }
    Master master = combiner.master();
    master.depth = first->depth;
    master.mosaic = CalibrationMosaic(first->mosaic);
    return master;
}

std::optional<std::string> MasterOutputRefusal(const std::string& path, const MasterRequest& request)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::absolute(path, ec).parent_path(), ec))
        return "Cannot write the master " + path + ": its folder does not exist";
    std::vector<std::string> read = request.inputs;
    for (const std::string* master : {&request.bias, &request.darkFlat})
        if (!master->empty())
            read.push_back(*master);
    for (const std::string& file : read)
        if (std::filesystem::equivalent(path, file, ec))
            return "Cannot write the master " + path + ": it is " + FileNameOf(file)
                + ", which the master is made from";
    return std::nullopt;
}
