// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/page_format.h"

#include "time/capture_time.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace orbicrop::night {
namespace {

// Every byte but the unreserved characters and '/' as %XX, so that no name
// (a '#', a '?', a ':', a space, UTF-8) is read as part of the URL's syntax.
std::string PercentEncoded(const std::string& path)
{
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || c == '-'
            || c == '.' || c == '_' || c == '~' || c == '/') {
            out += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            out += escaped;
        }
    }
    return out;
}

std::filesystem::path AbsoluteFolder(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal();
    return path.has_filename() ? path : path.parent_path();
}

}   // namespace

std::string Clock(double seconds)
{
    const long long whole = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string UtText(std::int64_t utcTicks)
{
    std::string iso = IsoUtc(utcTicks);
    if (const auto t = iso.find('T'); t != std::string::npos)
        iso[t] = ' ';
    return iso.substr(0, iso.find('.')) + " UT";
}

std::string SizeText(std::uint64_t bytes)
{
    char text[32];
    if (bytes >= 1'000'000'000)
        std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / 1e9);
    else
        std::snprintf(text, sizeof text, "%.0f MB", double(bytes) / 1e6);
    return text;
}

std::string OutputHref(const std::string& output, const std::string& htmlDir)
{
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::absolute(output, ec).lexically_normal();
    const std::filesystem::path relative = file.lexically_relative(AbsoluteFolder(htmlDir));
    if (!relative.empty() && *relative.begin() != ".." && relative != ".")
        return PercentEncoded(relative.generic_string());
    return "file://" + PercentEncoded(file.generic_string());
}

}   // namespace orbicrop::night
