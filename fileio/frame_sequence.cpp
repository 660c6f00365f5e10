// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/frame_sequence.h"

#include <glob.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A frame's name split around its last number: "Jup_0012.fits" is
// "Jup_", "0012", "" and ".fits".
struct NumberedName {
    std::string prefix;
    std::string number;
    std::string suffix;
    std::string extension;
};

std::optional<NumberedName> SplitAtLastNumber(const std::string& fileName)
{
    const std::size_t dot = fileName.rfind('.');
    const std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    std::size_t end = stem.size();
    while (end > 0 && !IsDigit(stem[end - 1]))
        --end;
    if (end == 0)
        return std::nullopt;
    std::size_t begin = end;
    while (begin > 0 && IsDigit(stem[begin - 1]))
        --begin;
    return NumberedName{stem.substr(0, begin), stem.substr(begin, end - begin), stem.substr(end),
                        dot == std::string::npos ? std::string() : fileName.substr(dot)};
}

// Numbers compared by value, however long and however padded; a tie goes by
// the whole name, so that the order never depends on the listing's.
bool FrameBefore(const std::string& a, const std::string& b)
{
    const auto key = [](const std::string& path) {
        const std::string name = fs::path(path).filename().string();
        const std::optional<NumberedName> split = SplitAtLastNumber(name);
        std::string digits = split ? split->number : std::string();
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        return std::make_tuple(split.has_value(), digits.size(), digits, name);
    };
    return key(a) < key(b);
}

bool Hidden(const std::string& name)
{
    return !name.empty() && name.front() == '.';
}

// The position of the first wildcard not escaped by a backslash; npos when none.
std::size_t FirstWildcard(std::string_view pattern)
{
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
            continue;
        }
        if (pattern[i] == '*' || pattern[i] == '?' || pattern[i] == '[')
            return i;
    }
    return std::string_view::npos;
}

std::string Unescaped(std::string_view text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        plain += text[i];
    }
    return plain;
}

std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// glob(3)'s results, owned.
class GlobMatches {
public:
    explicit GlobMatches(const std::string& pattern) { m_status = ::glob(pattern.c_str(), 0, nullptr, &m_glob); }
    ~GlobMatches() { ::globfree(&m_glob); }
    GlobMatches(const GlobMatches&) = delete;
    GlobMatches& operator=(const GlobMatches&) = delete;
    std::vector<std::string> paths() const
    {
        if (m_status != 0)
            return {};
        return {m_glob.gl_pathv, m_glob.gl_pathv + m_glob.gl_pathc};
    }

private:
    glob_t m_glob{};
    int m_status = GLOB_NOMATCH;
};

std::optional<std::vector<std::string>> GlobbedFrames(const std::string& pattern)
{
    std::vector<std::string> frames;
    std::error_code ec;
    for (const std::string& path : GlobMatches(pattern).paths())
        if (IsStillImageName(path) && !Hidden(fs::path(path).filename().string()) && fs::is_regular_file(path, ec))
            frames.push_back(path);
    if (frames.empty())
        return std::nullopt;
    std::sort(frames.begin(), frames.end(), FrameBefore);
    return frames;
}

// A glob with wildcards that names existing files; a name that merely holds
// a bracket names itself.
bool NamesByPattern(const std::string& path)
{
    std::error_code ec;
    return IsGlobPattern(path) && !fs::exists(path, ec);
}

std::string Trimmed(std::string name)
{
    while (!name.empty() && std::string_view("_-. ").find(name.back()) != std::string_view::npos)
        name.pop_back();
    return name;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}   // namespace

bool IsStillImageName(const std::string& name)
{
    static constexpr std::array<std::string_view, 6> kEndings{".fit", ".fits", ".fts", ".tif", ".tiff", ".png"};
    const std::string extension = LowerAscii(fs::path(name).extension().string());
    return std::find(kEndings.begin(), kEndings.end(), extension) != kEndings.end();
}

bool IsGlobPattern(const std::string& path)
{
    return FirstWildcard(path) != std::string_view::npos;
}

std::vector<StillSeries> StillSeriesIn(const std::string& dir)
{
    std::error_code ec;
    fs::directory_iterator entries(dir, ec);
    if (ec)
        return {};
    // Keyed by everything but the number, the ending in lower case.
    std::map<std::string, StillSeries> series;
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (Hidden(name) || !IsStillImageName(name) || !entry.is_regular_file(ec))
            continue;
        const std::optional<NumberedName> split = SplitAtLastNumber(name);
        if (!split)
            continue;
        StillSeries& one = series[split->prefix + '\0' + split->suffix + '\0' + LowerAscii(split->extension)];
        if (one.frames.empty())
            one.stem = split->prefix;
        one.frames.push_back(entry.path().string());
    }
    std::vector<StillSeries> found;
    for (auto& [key, one] : series) {
        std::sort(one.frames.begin(), one.frames.end(), FrameBefore);
        found.push_back(std::move(one));
    }
    return found;
}

std::optional<std::vector<std::string>> FrameSequenceFiles(const std::string& path)
{
    if (NamesByPattern(path))
        return GlobbedFrames(path);
    std::error_code ec;
    if (!fs::is_directory(path, ec))
        return std::nullopt;
    std::vector<StillSeries> series = StillSeriesIn(path);
    if (series.size() != 1)
        return std::nullopt;
    return std::move(series.front().frames);
}

bool IsFrameSequence(const std::string& path)
{
    std::error_code ec;
    if (!NamesByPattern(path) && !fs::is_directory(path, ec))
        return false;
    return FrameSequenceFiles(path).has_value();
}

std::string FrameSequenceName(const std::string& path)
{
    const std::string plain = WithoutTrailingSlashes(path);
    if (!NamesByPattern(plain))
        return fs::path(plain).filename().string();
    const std::size_t slash = plain.rfind('/', FirstWildcard(plain));
    const std::size_t nameBegin = slash == std::string::npos ? 0 : slash + 1;
    const std::string name =
        Trimmed(Unescaped(std::string_view(plain).substr(nameBegin, FirstWildcard(plain) - nameBegin)));
    if (!name.empty())
        return name;
    const std::string folder = slash == std::string::npos ? std::string(".") : Unescaped(plain.substr(0, slash));
    std::error_code ec;
    return fs::weakly_canonical(folder, ec).filename().string();
}

std::vector<std::string> SequenceCapturesIn(const std::string& dir)
{
    const std::vector<StillSeries> series = StillSeriesIn(dir);
    if (series.size() == 1)
        return {WithoutTrailingSlashes(dir)};
    std::vector<std::string> captures;
    for (const StillSeries& one : series) {
        const std::string first = fs::path(one.frames.front()).filename().string();
        const std::optional<NumberedName> split = SplitAtLastNumber(first);
        captures.push_back(Escaped(WithoutTrailingSlashes(dir)) + "/" + Escaped(split->prefix) + "[0-9]*"
                           + Escaped(split->suffix + split->extension));
    }
    return captures;
}
