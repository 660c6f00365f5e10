// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/capture_folder.h"

#include "fileio/frame_sequence.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool IsCaptureFile(const fs::path& path)
{
    const auto& known = CaptureExtensions();
    const std::string extension = Lower(path.extension().string());
    return std::find(known.begin(), known.end(), extension) != known.end()
        && !IsOwnOutputName(path.filename().string());
}

bool Hidden(const fs::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

// The captures dir holds as numbered still images, less our own outputs of
// that kind (a folder NAME_orbic of NAME_orbic_000001.tif ...).
std::vector<std::string> StillCapturesIn(const fs::path& dir)
{
    std::vector<std::string> captures;
    for (std::string& capture : SequenceCapturesIn(dir.string()))
        if (!IsOwnOutputName(FrameSequenceName(capture)))
            captures.push_back(std::move(capture));
    return captures;
}

}   // namespace

const std::vector<std::string>& CaptureExtensions()
{
    static const std::vector<std::string> kExtensions{".avi", ".ser", ".mp4", ".mov", ".mkv",
                                                      ".m4v", ".wmv", ".mpg", ".mpeg"};
    return kExtensions;
}

bool IsOwnOutputName(const std::string& fileName)
{
    const std::string stem = Lower(fs::path(fileName).stem().string());
    const auto endsWith = [&stem](const std::string& end) {
        return stem.size() >= end.size() && stem.compare(stem.size() - end.size(), end.size(), end) == 0;
    };
    if (endsWith("_orbic") || endsWith("_y8orbic") || stem == "_orbic")
        return true;
    // Pieces of a segmented output: NAME_orbic_part3.
    const std::size_t part = stem.rfind("orbic_part");
    return part != std::string::npos && part + 10 < stem.size()
        && std::all_of(stem.begin() + std::ptrdiff_t(part + 10), stem.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<std::string> CapturesIn(const std::string& dir, bool recurse)
{
    std::error_code ec;
    std::vector<std::string> found;
    std::vector<fs::path> folders{fs::path(dir)};
    const auto add = [&found](std::vector<std::string> captures) {
        found.insert(found.end(), captures.begin(), captures.end());
    };
    while (!folders.empty()) {
        const fs::path folder = folders.back();
        folders.pop_back();
        fs::directory_iterator entries(folder, ec);
        if (ec)
            throw std::runtime_error("Couldn't read the folder " + folder.string() + ": " + ec.message());
        add(StillCapturesIn(folder));
        for (const fs::directory_entry& entry : entries) {
            if (Hidden(entry.path()))
                continue;
            if (entry.is_directory(ec)) {
                if (IsOwnOutputName(entry.path().filename().string())
                    || fs::exists(entry.path() / kNightManifestName, ec))
                    continue;
                // A folder of frames is a capture in its own right, with
                // or without -r; it holds nothing else to look for.
                if (std::vector<std::string> frames = StillCapturesIn(entry.path()); !frames.empty())
                    add(std::move(frames));
                else if (recurse)
                    folders.push_back(entry.path());
            } else if (entry.is_regular_file(ec) && IsCaptureFile(entry.path())) {
                found.push_back(entry.path().string());
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool IsCaptureFolder(const std::string& path)
{
    return IsFrameSequence(path) && CapturesIn(path, false).size() == 1;
}

bool IsNightFolder(const std::string& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec) && !IsCaptureFolder(path);
}

bool AnyFolder(const std::vector<std::string>& inputs)
{
    return std::any_of(inputs.begin(), inputs.end(), IsNightFolder);
}

std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, bool recurse,
                                      std::vector<std::string>& notes)
{
    std::vector<std::string> files;
    for (const std::string& input : inputs) {
        if (!IsNightFolder(input)) {
            files.push_back(input);
            continue;
        }
        const std::vector<std::string> captures = CapturesIn(input, recurse);
        if (captures.empty())
            notes.push_back("No captures in " + input + (recurse ? "" : " (-r looks into its folders too)"));
        files.insert(files.end(), captures.begin(), captures.end());
    }
    return files;
}

std::vector<std::string> ByCaptureTime(std::vector<std::string> files,
                                       const std::function<std::optional<std::int64_t>(const std::string&)>& timeOf)
{
    std::vector<std::pair<std::optional<std::int64_t>, std::string>> timed;
    for (std::string& file : files)
        timed.emplace_back(timeOf(file), std::move(file));
    std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) {
        if (a.first && b.first)
            return *a.first < *b.first;
        return a.first.has_value() && !b.first.has_value();
    });
    std::vector<std::string> ordered;
    for (auto& [time, file] : timed)
        ordered.push_back(std::move(file));
    return ordered;
}
