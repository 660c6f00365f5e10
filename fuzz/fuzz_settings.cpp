// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as the settings file, through the same steps as the
// program: load, read every key with its clamps, write the keys back, save.
// A user's file may hold anything (other programs' sections, comments,
// broken lines, stray bytes), and saving must never cost them a line: apart
// from the keys the program writes (the nine it always writes, those of the
// colour, large-size and rejection choices once chosen, and the centring
// section once it has a choice), every line of the file comes out byte for
// byte, in its place.

#include "analysis/processing_state.h"
#include "settings/ini_file.h"
#include "settings/orbicrop_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include "fuzz/fuzz_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct KeyRule {
    std::string_view section;
    std::string_view key;
};

constexpr std::array<KeyRule, 27> kKeys{{
    {"COG", "threshold"},
    {"COG", "showeffect"},
    {"Output", "ignoreIncomplete"},
    {"Output", "autocolor"},
    {"Output", "color"},
    {"Size", "width"},
    {"Size", "height"},
    {"Size", "auto"},
    {"Output", "debayersafe"},
    {"Size", "large"},
    {"Size", "largewidth"},
    {"Size", "largeheight"},
    {"Size", "wholeframe"},
    {"Colour", "bayer"},
    {"Colour", "debayer"},
    {"Colour", "debayermethod"},
    {"Centring", "largestobject"},
    {"Centring", "surface"},
    {"Centring", "surfacerefresh"},
    {"Centring", "keepbest"},
    {"Centring", "keepbestframes"},
    {"Centring", "bestframe"},
    {"Centring", "keepbestscore"},
    {"Reject", "cut"},
    {"Reject", "minsize"},
    {"Reject", "maxsaturated"},
    {"Reject", "dim"},
}};

constexpr std::array<std::string_view, 6> kSections{"[COG]",    "[Output]",   "[Size]",
                                                    "[Colour]", "[Centring]", "[Reject]"};

void WriteFile(const std::string& path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
    CHECK(bool(out));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    CHECK(bool(in));
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Line {
    std::string_view text;
    std::string_view ending;
};

std::vector<Line> SplitLines(std::string_view s)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t newline = s.find('\n', start);
        if (newline == std::string_view::npos) {
            lines.push_back({s.substr(start), {}});
            break;
        }
        const bool crlf = newline > start && s[newline - 1] == '\r';
        const std::size_t end = crlf ? newline - 1 : newline;
        lines.push_back({s.substr(start, end - start), s.substr(end, newline + 1 - end)});
        start = newline + 1;
    }
    return lines;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string ValueOf(const OrbicropSettings& s, std::string_view key)
{
    if (key == "threshold")
        return std::to_string(s.threshold);
    if (key == "showeffect")
        return s.showEffect ? "1" : "0";
    if (key == "ignoreIncomplete")
        return s.ignoreIncomplete ? "1" : "0";
    if (key == "autocolor")
        return s.autoColor ? "1" : "0";
    if (key == "color")
        return s.color ? "1" : "0";
    if (key == "width")
        return std::to_string(s.width);
    if (key == "height")
        return std::to_string(s.height);
    if (key == "auto")
        return "0";
    if (key == "large")
        return s.largeSize ? "1" : "0";
    if (key == "largewidth")
        return std::to_string(s.largeWidth);
    if (key == "largeheight")
        return std::to_string(s.largeHeight);
    if (key == "wholeframe")
        return s.fullFrame ? "1" : "0";
    if (key == "bayer")
        return s.bayer ? std::string(NameOf(*s.bayer)) : "none";
    if (key == "debayer")
        return s.debayer ? "1" : "0";
    if (key == "debayermethod")
        return std::string(NameOf(s.debayerMethod));
    if (key == "largestobject")
        return s.largestObject ? "1" : "0";
    if (key == "surface")
        return s.surface ? "1" : "0";
    if (key == "surfacerefresh")
        return std::to_string(s.surfaceRefresh);
    if (key == "keepbest")
        return std::to_string(s.keepBest);
    if (key == "keepbestframes")
        return s.keepBestUnit == KeepBestUnit::Frames ? "1" : "0";
    if (key == "bestframe")
        return s.bestFrame ? "1" : "0";
    if (key == "keepbestscore")
        return s.keepBestUnit == KeepBestUnit::Score ? "1" : "0";
    if (key == "cut")
        return s.rejectCut ? "1" : "0";
    if (key == "minsize")
        return std::to_string(s.rejectMinSize);
    if (key == "maxsaturated") {
        if (!s.rejectMaxSaturated)
            return "off";
        char text[32];
        const auto written =
            std::to_chars(text, text + sizeof text, *s.rejectMaxSaturated, std::chars_format::fixed, 1);
        return std::string(text, written.ptr);
    }
    if (key == "dim")
        return s.rejectDim ? std::to_string(*s.rejectDim) : "off";
    return s.debayerSafe ? "1" : "0";
}

// Checks that the saved text is the loaded text with, at most, the values of
// the keys replaced within their own sections and their missing lines and
// sections added. Each input line is aligned with an output line that
// is either the same bytes or (for a line of one of the keys, under a
// section of its name) the same text up to the value and the written value;
// every output line left over must be one the program adds. At most 33 lines
// are added (six sections and 27 keys), which bounds the search.
class SaveChecker {
public:
    SaveChecker(std::string_view before, std::string_view after, const OrbicropSettings& written)
        : m_in(SplitLines(before)), m_out(SplitLines(after)), m_written(written)
    {
        m_newEnding = "\n";
        for (const Line& line : m_in)
            if (!line.ending.empty()) {
                m_newEnding = line.ending;
                break;
            }
        std::string_view section;
        for (std::size_t i = 0; i < m_in.size(); ++i) {
            std::string_view text = m_in[i].text;
            if (i == 0 && text.starts_with("\xEF\xBB\xBF"))
                text.remove_prefix(3);
            const std::string_view t = Trim(text);
            if (t.starts_with('[') && t.find(']') != std::string_view::npos)
                section = Trim(t.substr(1, t.find(']') - 1));
            m_sectionOf.push_back(section);
        }
    }

    bool holds() const
    {
        if (m_out.size() < m_in.size() || m_out.size() - m_in.size() > kMaxAdded)
            return false;
        const std::size_t added = m_out.size() - m_in.size();
        // reach[i][k]: the first i input lines are placed, with k lines added among them.
        std::vector<std::array<bool, kMaxAdded + 1>> reach(m_in.size() + 1);
        reach[0][0] = true;
        for (std::size_t i = 0; i <= m_in.size(); ++i) {
            for (std::size_t k = 0; k <= added; ++k) {
                if (!reach[i][k])
                    continue;
                const std::size_t j = i + k;
                if (j >= m_out.size())
                    continue;
                if (i < m_in.size() && kept(i, m_out[j]))
                    reach[i + 1][k] = true;
                if (k < added && isAdded(m_out[j]))
                    reach[i][k + 1] = true;
            }
        }
        return reach[m_in.size()][added];
    }

private:
    static constexpr std::size_t kMaxAdded = kSections.size() + kKeys.size();

    // Lines are compared with their endings: a text that ends in '\r' and
    // then gains a "\n" reads back as a "\r\n" line, the same bytes.
    bool kept(std::size_t i, const Line& out) const
    {
        const std::string whole = std::string(out.text) + std::string(out.ending);
        const Line& in = m_in[i];
        // A last line without an ending gets one when something follows it.
        const bool last = i + 1 == m_in.size() && in.ending.empty();
        const auto matches = [&](const std::string& text) {
            return whole == text + std::string(in.ending) || (last && whole == text + std::string(m_newEnding));
        };
        if (matches(std::string(in.text)))
            return true;
        const std::string_view text = in.text;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos || Trim(text).starts_with(';') || Trim(text).starts_with('#'))
            return false;
        const std::string_view key = Trim(text.substr(0, equals));
        for (const KeyRule& rule : kKeys) {
            if (!SameName(key, rule.key) || !SameName(m_sectionOf[i], rule.section))
                continue;
            std::size_t valueStart = equals + 1;
            while (valueStart < text.size() && (text[valueStart] == ' ' || text[valueStart] == '\t'))
                ++valueStart;
            return matches(std::string(text.substr(0, valueStart)) + ValueOf(m_written, rule.key));
        }
        return false;
    }

    bool isAdded(const Line& out) const
    {
        if (out.ending != m_newEnding)
            return false;
        for (const std::string_view section : kSections)
            if (out.text == section)
                return true;
        for (const KeyRule& rule : kKeys)
            if (out.text == std::string(rule.key) + "=" + ValueOf(m_written, rule.key))
                return true;
        return false;
    }

    std::vector<Line> m_in;
    std::vector<Line> m_out;
    std::vector<std::string_view> m_sectionOf;
    OrbicropSettings m_written;
    std::string_view m_newEnding;
};

std::uint64_t Hash(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001b3ull;
    return h;
}

// Values in the controls' ranges, different from one input to the next.
OrbicropSettings ChosenSettings(std::uint64_t h)
{
    OrbicropSettings s;
    s.threshold = std::int32_t(h % 201) - 100;
    s.showEffect = h >> 8 & 1;
    s.ignoreIncomplete = h >> 9 & 1;
    s.debayerSafe = h >> 10 & 1;
    s.autoColor = h >> 11 & 1;
    s.color = h >> 12 & 1;
    s.width = kCropPositionMin + std::int32_t((h >> 16) % 39);
    s.height = kCropPositionMin + std::int32_t((h >> 24) % 39);
    // The colour and large-size choices mostly at their defaults, so that
    // their keys are as often left out as written.
    if ((h >> 32 & 3) == 0)
        s.bayer = BayerPattern(h >> 34 & 3);
    s.debayer = (h >> 36 & 3) == 0;
    if ((h >> 38 & 3) == 0)
        s.debayerMethod = DemosaicMethod::Bilinear;
    s.largeSize = (h >> 40 & 3) == 0;
    if ((h >> 42 & 3) == 0)
        s.largeWidth = SnappedLargeSize(std::int32_t(h >> 44 & 0xFFF));
    if ((h >> 56 & 3) == 0)
        s.largeHeight = SnappedLargeSize(std::int32_t(h >> 48 & 0xFFF));
    s.fullFrame = (h >> 58 & 3) == 0;
    // The centring and rejection choices from bits of their own, mostly at
    // their defaults too: the centring section is written whole once one of
    // them is chosen.
    std::uint64_t g = (h ^ h >> 31) * 0xbf58476d1ce4e5b9ull;
    g ^= g >> 29;
    if ((g & 7) == 0) {
        s.keepBestUnit = KeepBestUnit(g >> 3 & 1 ? 2 : 1);
        s.keepBest = std::int32_t((g >> 4) % 101);
    }
    s.largestObject = (g >> 11 & 7) == 0;
    s.surface = (g >> 14 & 7) == 0;
    if ((g >> 17 & 7) == 0)
        s.surfaceRefresh = 1 + std::int32_t((g >> 20) % 10000);
    s.bestFrame = (g >> 34 & 7) == 0;
    std::uint64_t k = (g ^ g >> 31) * 0x94d049bb133111ebull;
    k ^= k >> 32;
    s.rejectCut = (k & 3) == 0;
    if ((k >> 2 & 3) == 0)
        s.rejectMinSize = std::int32_t((k >> 4 & 0x1FFF) % (kRejectMinSizeMax + 1));
    if ((k >> 17 & 3) == 0)
        s.rejectMaxSaturated = double(std::min<std::uint64_t>(k >> 19 & 0x3FF, 1000)) / 10.0;
    if ((k >> 29 & 3) == 0)
        s.rejectDim = 1 + std::int32_t((k >> 31 & 0xFF) % 100);
    return s;
}

void CheckInRange(const OrbicropSettings& s)
{
    CHECK(s.threshold >= kThresholdMin && s.threshold <= kThresholdMax);
    CHECK(s.width >= kCropPositionMin && s.width <= kCropPositionMax);
    CHECK(s.height >= kCropPositionMin && s.height <= kCropPositionMax);
    for (const std::int32_t size : {s.largeWidth, s.largeHeight})
        CHECK(size >= kLargeSizeMin && size <= kLargeSizeMax && size % kCropSizeStep == 0);
    CHECK(s.surfaceRefresh >= 1 && s.surfaceRefresh <= 10000);
    CHECK(s.keepBest >= 0 && s.keepBest <= (s.keepBestUnit == KeepBestUnit::Frames ? kKeepBestFramesMax : 100));
    CHECK(s.rejectMinSize >= 0 && s.rejectMinSize <= kRejectMinSizeMax);
    if (s.rejectMaxSaturated)
        CHECK(*s.rejectMaxSaturated >= 0.0 && *s.rejectMaxSaturated <= 100.0
              && std::round(*s.rejectMaxSaturated * 10.0) / 10.0 == *s.rejectMaxSaturated);
    if (s.rejectDim)
        CHECK(*s.rejectDim >= 1 && *s.rejectDim <= 100);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzScratch scratch("settings");
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string path = scratch.file("Orbicrop.ini");
    WriteFile(path, input);

    IniFile file;
    CHECK(file.load(path) == IniFile::LoadResult::Loaded);
    CHECK(file.text() == input);

    CheckInRange(ReadOrbicropSettings(file));
    for (const KeyRule& rule : kKeys) {
        const auto text = file.readString(rule.section, rule.key);
        const auto number = text ? ParseIniInteger(*text) : std::nullopt;
        if (number)
            CHECK(ParseIniInteger(std::to_string(*number)) == number);
    }

    const OrbicropSettings written = ChosenSettings(Hash(data, size));
    WriteOrbicropSettings(file, written);
    const std::string saved = file.text();
    CHECK(SaveChecker(input, saved, written).holds());

    // What was written is what the next start reads.
    file.save();
    CHECK(ReadFile(path) == saved);
    IniFile again;
    CHECK(again.load(path) == IniFile::LoadResult::Loaded);
    const OrbicropSettings read = ReadOrbicropSettings(again);
    CHECK(read.threshold == written.threshold && read.width == written.width && read.height == written.height);
    CHECK(read.showEffect == written.showEffect && read.ignoreIncomplete == written.ignoreIncomplete);
    CHECK(read.debayerSafe == written.debayerSafe && read.autoColor == written.autoColor);
    CHECK(read.bayer == written.bayer && read.debayer == written.debayer
          && read.debayerMethod == written.debayerMethod);
    CHECK(read.largeSize == written.largeSize && read.largeWidth == written.largeWidth
          && read.largeHeight == written.largeHeight && read.fullFrame == written.fullFrame);
    CHECK(read.largestObject == written.largestObject && read.surface == written.surface
          && read.surfaceRefresh == written.surfaceRefresh && read.bestFrame == written.bestFrame);
    CHECK(read.keepBest == written.keepBest && read.keepBestUnit == written.keepBestUnit);
    CHECK(read.rejectCut == written.rejectCut && read.rejectMinSize == written.rejectMinSize
          && read.rejectMaxSaturated == written.rejectMaxSaturated && read.rejectDim == written.rejectDim);

    // Saving the same values again changes nothing.
    WriteOrbicropSettings(again, written);
    CHECK(again.text() == saved);

    // The whole save as the window does it, from the file on disk.
    WriteFile(path, input);
    SaveOrbicropSettings(path, written);
    CHECK(ReadFile(path) == saved);
    return 0;
}
