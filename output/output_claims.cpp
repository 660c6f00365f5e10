// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_claims.h"

#include "output/paths.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

fs::path Normalised(const std::string& path)
{
    return fs::absolute(path).lexically_normal();
}

// Links resolved where they exist, so that a folder reached through a link
// still counts as holding what it holds.
fs::path Resolved(const std::string& path)
{
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(path), ec);
    return ec ? Normalised(path) : resolved;
}

bool Inside(const fs::path& inner, const fs::path& outer)
{
    const auto [stop, _] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return stop == outer.end() && inner != outer;
}

// NAME_ followed by at least six digits and one of the still formats'
// extensions: what SequenceOutput writes into a folder called NAME.
bool IsFrameFileOf(std::string_view name, std::string_view folder)
{
    if (name.size() <= folder.size() + 1 || name.substr(0, folder.size()) != folder || name[folder.size()] != '_')
        return false;
    name.remove_prefix(folder.size() + 1);
    const std::size_t digits = std::min(name.find_first_not_of("0123456789"), name.size());
    if (digits < 6)
        return false;
    const std::string_view extension = name.substr(digits);
    constexpr std::array<std::string_view, 3> kExtensions{".tif", ".fits", ".png"};
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

}   // namespace

std::optional<std::string> InputConflict(const std::string& path, const std::vector<std::string>& inputs)
{
    const fs::path out = Normalised(path);
    const fs::path outResolved = Resolved(path);
    for (const std::string& input : inputs) {
        std::error_code ec;
        if ((fs::equivalent(path, input, ec) && !ec) || Normalised(input) == out)
            return "is one of the chosen input files";
        if (Inside(Normalised(input), out) || Inside(Resolved(input), outResolved))
            return "holds the chosen input file " + FileNameOf(input);
    }
    return std::nullopt;
}

std::optional<std::string> ForeignEntryIn(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || status.type() == fs::file_type::not_found)
        return std::nullopt;
    if (status.type() != fs::file_type::directory)
        return path;
    const std::string folder = FileNameOf(fs::path(path).lexically_normal().string());
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError) || !IsFrameFileOf(name, folder))
            return it->path().string();
    }
    if (ec)   // a folder whose entries cannot be read is not known to hold only frames
        return path;
    return std::nullopt;
}

OutputClaims::OutputClaims(std::vector<std::string> inputs) : m_inputs(std::move(inputs)) {}

std::optional<std::string> OutputClaims::claim(const std::string& input, const std::string& path, bool folder)
{
    if (auto conflict = InputConflict(path, m_inputs))
        return conflict;
    if (folder)
        if (const auto foreign = ForeignEntryIn(path))
            return *foreign == path ? std::string("is not a folder of frames")
                                    : "holds " + FileNameOf(*foreign) + ", which is not one of its frames";
    const std::lock_guard lock(m_lock);
    const auto [earlier, fresh] = m_claimed.emplace(Normalised(path).string(), input);
    if (!fresh)   // same-named captures of different nights, or jup.avi beside jup.ser
        return "is already the output of " + earlier->second;
    return std::nullopt;
}
