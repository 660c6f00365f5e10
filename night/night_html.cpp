// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/escape.h"
#include "night/night_report.h"
#include "night/page_format.h"
#include "night/page_style.h"
#include "time/capture_time.h"

#include <algorithm>
#include <optional>

using orbicrop::night::Base64;
using orbicrop::night::Clock;
using orbicrop::night::HtmlText;
using orbicrop::night::kNightPageStyle;
using orbicrop::night::OutputHref;
using orbicrop::night::SizeText;
using orbicrop::night::UtText;

namespace {

std::string FileName(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

std::string PngImage(const std::vector<std::uint8_t>& png, const std::string& alt, const char* attributes)
{
    return "<img " + std::string(attributes) + " src=\"data:image/png;base64," + Base64(png) + "\" alt=\""
        + HtmlText(alt) + "\">";
}

// The plots' own size, so the page keeps their room while it loads.
constexpr const char* kPlotAttributes = "class=\"plot\" width=\"640\" height=\"360\"";

// One side of "read = written + dropped for each reason": a count, the words
// after it, and the attributes its number carries (ids on the totals).
struct Term {
    std::int64_t count;
    std::string words;
    std::string numberAttributes;
};

std::string TermHtml(const Term& t)
{
    return "<span class=\"term\"><b" + t.numberAttributes + ">" + std::to_string(t.count) + "</b> " + HtmlText(t.words)
        + "</span>";
}

// Frames read, then what became of them: written, or dropped for a reason.
// Frames no reason covers show as a term of their own: the sum on the page
// holds as written, and a count that does not add up is seen.
std::string Equation(const Term& read, const Term& written, const ReasonCounts& dropped, std::int64_t unaccounted,
                     const char* cssClass)
{
    std::string out = "<p class=\"" + std::string(cssClass) + "\">" + TermHtml(read) + " <span class=\"op\">=</span> "
        + TermHtml(written);
    for (const auto& [reason, count] : dropped)
        out += " <span class=\"op\">+</span> "
            + TermHtml({count, reason, " class=\"dropped\" data-reason=\"" + HtmlText(reason) + "\""});
    if (unaccounted != 0)
        out += std::string(" <span class=\"op\">") + (unaccounted > 0 ? "+" : "&minus;") + "</span> "
            + TermHtml({unaccounted > 0 ? unaccounted : -unaccounted, "not accounted for", " class=\"unaccounted\""});
    return out + "</p>";
}

std::string Tile(const std::string& value, const std::string& words, const std::string& id, const char* extra = "")
{
    return "<div class=\"tile" + std::string(extra) + "\"><b id=\"" + id + "\">" + value + "</b><span>"
        + HtmlText(words) + "</span></div>";
}

// The span of the night's capture times, first to last, when any is known.
std::string NightSpan(const NightFacts& night)
{
    std::optional<std::int64_t> first, last;
    for (const NightCapture& c : night.captures)
        if (c.midUtcTicks) {
            first = std::min(first.value_or(*c.midUtcTicks), *c.midUtcTicks);
            last = std::max(last.value_or(*c.midUtcTicks), *c.midUtcTicks);
        }
    if (!first)
        return "";
    const std::string from = UtText(*first);
    std::string to = UtText(*last);
    if (to == from)
        return "<p class=\"span\">Captured " + from + "</p>";
    if (to.compare(0, 10, from, 0, 10) == 0)
        to = to.substr(11);   // the same day: its date once
    return "<p class=\"span\">Captures from " + from.substr(0, from.size() - 3) + " to " + to + "</p>";
}

std::string FailureList(const NightFacts& night)
{
    std::string items;
    for (std::size_t i = 0; i < night.captures.size(); ++i) {
        const NightCapture& c = night.captures[i];
        if (c.status == "failed")
            items += "<li><a href=\"#capture-" + std::to_string(i + 1) + "\">" + HtmlText(c.name)
                + "</a>: " + HtmlText(c.reason.empty() ? "no reason given" : c.reason) + "</li>";
    }
    return items.empty() ? "" : "<h2>Failed</h2><ul id=\"failures\">" + items + "</ul>";
}

std::string TotalsSection(const NightFacts& night)
{
    const NightTotals t = TotalsOf(night);
    std::string out = "<header class=\"night\"><h1>" + HtmlText(night.title.empty() ? "Night report" : night.title)
        + "</h1>" + NightSpan(night) + "<div class=\"tiles\">"
        + Tile(std::to_string(t.captures), t.captures == 1 ? "capture" : "captures", "captures")
        + Tile(std::to_string(t.done), "done", "captures-done")
        + Tile(std::to_string(t.failed.size()), "failed", "captures-failed", t.failed.empty() ? "" : " bad");
    if (t.stopped > 0)
        out += Tile(std::to_string(t.stopped), "stopped", "captures-stopped", " warn");
    out += Tile(std::to_string(t.skipped), "skipped", "captures-skipped")
        + Tile(SizeText(t.bytesRead), "read", "bytes-read") + Tile(Clock(night.seconds), "taken", "time-taken")
        + "</div>";
    out += Equation({t.framesRead, "frames read", " id=\"frames-read\""},
                    {t.framesWritten, "written", " id=\"frames-written\""}, t.dropped, t.framesUnaccounted(),
                    "equation totals");
    return out + FailureList(night) + "</header>";
}

std::string StatusOf(const NightCapture& c)
{
    return c.status.empty() ? "done" : c.status;
}

std::string StatusLine(const NightCapture& c)
{
    const std::string status = HtmlText(StatusOf(c));
    std::string line = "<p class=\"status " + status + "\"><span>" + status + "</span>";
    if (!c.reason.empty())
        line.append(" ").append(HtmlText(c.reason));
    return line + "</p>";
}

std::string Fact(const char* term, const std::string& text)
{
    return text.empty() ? "" : "<dt>" + std::string(term) + "</dt><dd>" + HtmlText(text) + "</dd>";
}

std::string InputsFact(const NightCapture& c)
{
    if (c.inputs.size() < 2)
        return "";
    std::string items;
    for (const std::string& input : c.inputs)
        items += "<li>" + HtmlText(FileName(input)) + "</li>";
    return "<dt>Inputs</dt><dd><details><summary>" + std::to_string(c.inputs.size()) + " files joined</summary><ul>"
        + items + "</ul></details></dd>";
}

// The date and the time of day may go on two lines, never a part of either.
std::string TimeHtml(std::int64_t utcTicks)
{
    const std::string text = UtText(utcTicks);
    const std::size_t space = text.find(' ');
    return "<time datetime=\"" + IsoUtc(utcTicks) + "\"><span class=\"nb\">" + text.substr(0, space)
        + "</span> <span class=\"nb\">" + text.substr(space + 1) + "</span></time>";
}

std::string CaptureFacts(const NightCapture& c)
{
    return "<dl><dt>Mid-time</dt><dd>" + (c.midUtcTicks ? TimeHtml(*c.midUtcTicks) : std::string("time unknown"))
        + "</dd>" + Fact("Target", c.target) + Fact("Filter", c.filter) + Fact("Camera", c.camera) + InputsFact(c)
        + Fact("Read", SizeText(c.bytesRead)) + Fact("Took", c.seconds > 0 ? Clock(c.seconds) : "") + "</dl>";
}

std::string OutputList(const NightCapture& c, const std::string& htmlDir)
{
    if (c.outputs.empty())
        return "";
    std::string items;
    for (const std::string& output : c.outputs)
        items +=
            "<li><a href=\"" + HtmlText(OutputHref(output, htmlDir)) + "\">" + HtmlText(FileName(output)) + "</a></li>";
    return "<ul class=\"outputs\">" + items + "</ul>";
}

std::string CaptureCard(const NightCapture& c, std::size_t number, const std::string& htmlDir)
{
    ReasonCounts dropped;
    AddByReason(dropped, c.dropped);
    std::int64_t unaccounted = std::int64_t(c.framesSeen) - c.framesWritten;
    for (const auto& [reason, count] : dropped)
        unaccounted -= count;
    const std::string thumb = c.bestFramePng.empty()
        ? "<div class=\"thumb none\">no frame</div>"
        : "<div class=\"thumb\">" + PngImage(c.bestFramePng, "Best frame of " + c.name, "class=\"best\"") + "</div>";
    std::string out = "<article class=\"card " + HtmlText(StatusOf(c)) + "\" id=\"capture-" + std::to_string(number)
        + "\"><h2>" + HtmlText(c.name) + "</h2>" + StatusLine(c) + "<div class=\"top\">" + thumb
        + "<div class=\"facts\">" + CaptureFacts(c) + "</div></div>";
    if (c.framesSeen > 0 || c.framesWritten > 0 || !dropped.empty())
        out += Equation({c.framesSeen, "frames read", ""}, {c.framesWritten, "written", ""}, dropped, unaccounted,
                        "equation");
    if (!c.qualityPng.empty())
        out += PngImage(c.qualityPng, "Quality curve of " + c.name, kPlotAttributes);
    if (!c.driftPng.empty())
        out += PngImage(c.driftPng, "Drift of " + c.name, kPlotAttributes);
    return out + OutputList(c, htmlDir) + "</article>";
}

}   // namespace

std::string NightReportHtml(const NightFacts& night, const std::string& htmlDir)
{
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>"
        + HtmlText(night.title.empty() ? "Night report" : night.title + " \xE2\x80\x93 night report")
        + "</title>\n<style>\n" + std::string(kNightPageStyle) + "</style>\n</head>\n<body>\n" + TotalsSection(night)
        + "\n<main class=\"cards\">\n";
    for (std::size_t i = 0; i < night.captures.size(); ++i)
        page += CaptureCard(night.captures[i], i + 1, htmlDir) + "\n";
    return page + "</main>\n</body>\n</html>\n";
}
