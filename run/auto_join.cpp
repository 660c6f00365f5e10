// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/auto_join.h"

#include "capture/sidecar.h"
#include "output/paths.h"
#include "run/joined_source.h"
#include "run/source_rate.h"
#include "text/ascii_text.h"
#include "time/capture_time.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool EndsWithPart(std::string_view text)
{
    return text.size() >= 4 && orbicrop::text::equalIgnoringAsciiCase(text.substr(text.size() - 4), "part");
}

// Where the counter that ends name begins, its separator or "part" or "("
// included; nothing when the digits stand after anything else.
std::optional<std::size_t> CounterStart(std::string_view name, std::size_t digitsBegin, bool parenthesised)
{
    const std::string_view before = name.substr(0, digitsBegin);
    if (parenthesised)
        return before.ends_with('(') ? std::optional(digitsBegin - 1) : std::nullopt;
    if (EndsWithPart(before)) {
        const std::size_t part = digitsBegin - 4;
        return part > 0 && std::string_view("_- ").find(name[part - 1]) != std::string_view::npos ? part - 1 : part;
    }
    if (!before.empty() && std::string_view("_-.").find(before.back()) != std::string_view::npos)
        return digitsBegin - 1;
    return std::nullopt;
}

struct Step {
    std::optional<std::string> refusal;   // why the next file is no part of the set
    bool timesUnknown = false;
};

std::string Dec(std::int64_t value)
{
    return std::to_string(value);
}

std::string SecondsText(std::int64_t ticks)
{
    const double seconds = double(ticks) / double(kTicksPerSecond);
    char text[32];
    // Fine enough to tell a gap from the allowance it passed: a few frames
    // of a fast camera in milliseconds, just past 2 s not as "2.0".
    std::snprintf(text, sizeof text, seconds >= 10.0 ? "%.1f" : seconds >= 1.0 ? "%.2f" : "%.3f", seconds);
    return text;
}

// How far after the last frame of part the next part's first may come.
double AllowanceSeconds(const PartFacts& part)
{
    std::optional<double> interval = part.frameInterval;
    if ((!interval || !(*interval > 0.0)) && part.firstUtc && part.lastUtc && part.frames >= 2)
        interval = double(*part.lastUtc - *part.firstUtc) / double(kTicksPerSecond) / double(part.frames - 1);
    if (interval && std::isfinite(*interval) && *interval > 0.0)
        return 2.0 * *interval;
    return 2.0;
}

Step NextPart(const PartFacts& last, const PartFacts& next)
{
    if (next.format != last.format)
        return {"format " + next.format + ", not " + last.format};
    if (next.width != last.width || next.height != last.height)
        return {"frame size " + Dec(next.width) + " x " + Dec(next.height) + ", not " + Dec(last.width) + " x "
                + Dec(last.height)};
    if (next.depth != last.depth)
        return {"depth " + Dec(next.depth) + " bits, not " + Dec(last.depth) + " bits"};
    if (next.colour != last.colour)
        return {"colour differs"};
    if (!last.lastUtc || !next.firstUtc)
        return {std::nullopt, true};
    const std::int64_t gap = *next.firstUtc - *last.lastUtc;
    if (gap < 0)
        return {"starts before the last part ended"};
    if (double(gap) / double(kTicksPerSecond) > AllowanceSeconds(last))
        return {"starts " + SecondsText(gap) + " s after the last part ended"};
    return {};
}

// The sets of one name's files, built in part order and logged as they close.
class SetBuilder {
public:
    SetBuilder(const std::vector<PartFacts>& files, std::vector<std::vector<std::size_t>>& sets,
               std::vector<std::string>& log)
        : m_files(files), m_sets(sets), m_log(log)
    {}

    // Files of one stem, style and extension, by their numbers in order.
    void walk(const std::vector<std::pair<std::int32_t, std::size_t>>& parts)
    {
        for (std::size_t k = 0; k < parts.size(); ++k) {
            const std::size_t file = parts[k].second;
            if (k == 0 || parts[k].first != parts[k - 1].first + 1) {
                restart(file);
                continue;
            }
            const Step step = NextPart(m_files[m_set.back()], m_files[file]);
            if (step.refusal) {
                const std::string after = FileNameOf(m_files[m_set.back()].path);
                restart(file);
                m_log.push_back("Not joined: " + FileNameOf(m_files[file].path) + " after " + after + " ("
                                + *step.refusal + ")");
                continue;
            }
            m_set.push_back(file);
            m_timesUnknown = m_timesUnknown || step.timesUnknown;
        }
        close();
    }

private:
    void restart(std::size_t file)
    {
        close();
        m_set = {file};
        m_timesUnknown = false;
    }

    void close()
    {
        if (m_set.size() < 2)
            return;
        std::string line = "Joined as one capture: ";
        for (std::size_t i = 0; i < m_set.size(); ++i)
            line += (i == 0 ? "" : ", ") + FileNameOf(m_files[m_set[i]].path);
        m_log.push_back(line + (m_timesUnknown ? " (times unknown)" : ""));
        m_sets.push_back(m_set);
        m_set.clear();
    }

    const std::vector<PartFacts>& m_files;
    std::vector<std::vector<std::size_t>>& m_sets;
    std::vector<std::string>& m_log;
    std::vector<std::size_t> m_set;
    bool m_timesUnknown = false;
};

bool SameName(const PartName& a, const PartName& b)
{
    return a.stem == b.stem && a.style == b.style && a.extension == b.extension;
}

std::string LowerExtension(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::ranges::transform(extension, extension.begin(), orbicrop::text::asciiLower);
    return extension;
}

// Frames without stamps are dated by the start the capture program's
// sidecar beside the file states, and on at its rate or the stream's.
void DateBySidecar(PartFacts& facts, const VideoInfo& video)
{
    const std::optional<orbicrop::capture::CaptureFacts> sidecar = orbicrop::capture::SidecarFacts(facts.path);
    // A SER header declares no rate: without stamps its source's is a default.
    const SourceRate rate =
        SourceFrameRate({}, sidecar ? sidecar->averageFps : std::nullopt, video.samples ? 0.0 : video.frameRate);
    if (rate.origin != RateOrigin::Default)
        facts.frameInterval = 1.0 / rate.fps;
    if (!sidecar || !sidecar->startUtc)
        return;
    facts.firstUtc = sidecar->startUtc;
    if (facts.frameInterval && facts.frames > 0)
        facts.lastUtc =
            *facts.firstUtc + std::llround(double(facts.frames - 1) * *facts.frameInterval * double(kTicksPerSecond));
}

}   // namespace

std::optional<PartName> SplitPartName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameBegin = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameBegin;
    const std::string_view name =
        std::string_view(path).substr(nameBegin, (hasExtension ? dot : path.size()) - nameBegin);
    const bool parenthesised = name.ends_with(')');
    const std::size_t digitsEnd = name.size() - (parenthesised ? 1 : 0);
    std::size_t digitsBegin = digitsEnd;
    while (digitsBegin > 0 && IsDigit(name[digitsBegin - 1]))
        --digitsBegin;
    const std::size_t digits = digitsEnd - digitsBegin;
    const bool padded = digits > 1 && name[digitsBegin] == '0';
    // Nine digits fit the number; unpadded ones past three are a time or a
    // serial number rather than a part.
    if (digits == 0 || digits > 9 || (!padded && digits > 3))
        return std::nullopt;
    const std::optional<std::size_t> counter = CounterStart(name, digitsBegin, parenthesised);
    if (!counter || *counter == 0)
        return std::nullopt;   // a name that is all counter names no capture
    PartName part;
    part.stem = path.substr(0, nameBegin + *counter);
    part.number = std::stoi(std::string(name.substr(digitsBegin, digits)));
    part.style = std::string(name.substr(*counter, digitsBegin - *counter)) + std::string(padded ? digits : 1, 'N')
        + (parenthesised ? ")" : "");
    part.extension = hasExtension ? path.substr(dot + 1) : std::string();
    return part;
}

JoinPlan PlanJoins(const std::vector<PartFacts>& files)
{
    // A file whose facts could not be read joins nothing, and so breaks no set.
    std::vector<std::optional<PartName>> names(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].width > 0)
            names[i] = SplitPartName(files[i].path);
    JoinPlan plan;
    std::vector<std::vector<std::size_t>> sets;
    SetBuilder builder(files, sets, plan.log);
    std::vector<bool> grouped(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (grouped[i] || !names[i])
            continue;
        std::vector<std::pair<std::int32_t, std::size_t>> parts;
        for (std::size_t j = i; j < files.size(); ++j)
            if (!grouped[j] && names[j] && SameName(*names[i], *names[j])) {
                grouped[j] = true;
                parts.emplace_back(names[j]->number, j);
            }
        std::ranges::stable_sort(parts, {}, &std::pair<std::int32_t, std::size_t>::first);
        builder.walk(parts);
    }
    std::vector<bool> joined(files.size(), false);
    for (const std::vector<std::size_t>& set : sets)
        for (const std::size_t file : set)
            joined[file] = true;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!joined[i])
            sets.push_back({i});
    std::ranges::sort(sets, {}, [](const std::vector<std::size_t>& set) { return set.front(); });
    for (const std::vector<std::size_t>& set : sets) {
        std::vector<std::string>& capture = plan.captures.emplace_back();
        for (const std::size_t file : set)
            capture.push_back(files[file].path);
    }
    return plan;
}

PartFacts ReadPartFacts(const std::string& path, const SourceOpener& open)
{
    PartFacts facts;
    facts.path = path;
    facts.format = LowerExtension(path);
    const auto [source, video] = OpenDescribed(path, open);
    if (!source || !video)
        return facts;
    facts.width = video->width;
    facts.height = video->height;
    if (video->samples) {
        // Parts share the depth their header declares, whatever bits their data use.
        facts.depth = DeclaredDepthOf(path).value_or(video->samples->depth);
        facts.colour = video->samples->colour;
    }
    facts.frames = FramesOf(*video);
    if (facts.frames == 0 && video->declaredFrames)
        facts.frames = *video->declaredFrames;
    const CaptureSpan span = CaptureSpanOf(*source, *video);
    if (!span.first || !span.last) {
        DateBySidecar(facts, *video);
        return facts;
    }
    facts.firstUtc = span.first;
    facts.lastUtc = span.last;
    // A stamped source's rate is its stamps'.
    if (facts.frames >= 2 && video->frameRate > 0.0)
        facts.frameInterval = 1.0 / video->frameRate;
    return facts;
}
