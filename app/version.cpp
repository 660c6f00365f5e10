// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/version.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::array<std::uint16_t, 4> BuildVersion()
{
    return {ORBICROP_VERSION_MAJOR, ORBICROP_VERSION_MINOR, ORBICROP_VERSION_PATCH, ORBICROP_VERSION_TWEAK};
}

std::string FormatVersion(const std::string& format, const std::array<std::uint16_t, 4>& numbers)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == 'd') {
                if (next < numbers.size())
                    out += std::to_string(numbers[next++]);
                ++i;
                continue;
            }
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::string GetVersionString(const std::string& fileName, const std::string& format)
{
    std::size_t first = 0;
    std::size_t last = fileName.size();
    while (first < last && static_cast<unsigned char>(fileName[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(fileName[last - 1]) <= ' ')
        --last;

    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    if (first == last)
        return FormatVersion(format, BuildVersion());
    const fs::path name(fileName.substr(first, last - first));
    if (!fs::equivalent(name, self, ec) || ec)
        return {};
    return FormatVersion(format, BuildVersion());
}
