// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/night_report.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace {

std::runtime_error Unwritable(const std::string& path, int error)
{
    return std::runtime_error("Couldn't write the night report " + path + ": " + std::strerror(error));
}

// A new file beside its final name, removed unless it was put in place: a
// run killed or refused midway leaves the report before it, never half of
// one. Created with the ordinary mode, so the umask decides as for any file.
class PartFile {
public:
    explicit PartFile(const std::string& path) : m_final(path)
    {
        std::random_device random;
        for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
            m_path = path + ".part" + std::to_string(random() % 1'000'000u);
            m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0)
            throw Unwritable(m_final, errno);
    }
    ~PartFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_placed)
            ::unlink(m_path.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void write(const std::string& content)
    {
        for (std::size_t done = 0; done < content.size();) {
            const ssize_t n = ::write(m_fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Unwritable(m_final, n < 0 ? errno : ENOSPC);
            done += std::size_t(n);
        }
    }
    // rename(2) replaces the final name in one step.
    void place()
    {
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0 || ::rename(m_path.c_str(), m_final.c_str()) != 0)
            throw Unwritable(m_final, errno);
        m_placed = true;
    }

private:
    std::string m_final;
    std::string m_path;
    int m_fd = -1;
    bool m_placed = false;
};

// Whether the file at path, when there is one, may be replaced: only a report
// of ours, which a later run of the night rewrites. A user's own night.html
// or night.json in the folder stays as it is.
bool OursOrAbsent(const std::string& path, std::string_view mark)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return !std::filesystem::exists(path);
    std::string head(std::size_t(256) << 10, '\0');
    file.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(file.gcount()));
    return head.find(mark) != std::string::npos;
}

void WriteWhole(const std::string& path, const std::string& content, std::string_view mark)
{
    if (!OursOrAbsent(path, mark))
        throw std::runtime_error("Couldn't write the night report " + path
                                 + ": a file of that name that is no night report is there, and is kept; "
                                   "choose another place for the report");
    PartFile file(path);
    file.write(content);
    file.place();
}

}   // namespace

void WriteNightReport(const NightFacts& night, const std::string& htmlPath)
{
    const std::filesystem::path folder = std::filesystem::path(htmlPath).parent_path();
    // What every report of ours holds near its start.
    constexpr std::string_view kJsonMark = "\"totals\": {";
    constexpr std::string_view kHtmlMark = "<main class=\"cards\">";
    WriteWhole((folder / "night.json").string(), NightReportJson(night), kJsonMark);
    WriteWhole(htmlPath, NightReportHtml(night, folder.empty() ? "." : folder.string()), kHtmlMark);
}
