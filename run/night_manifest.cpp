// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/night_manifest.h"

#include "fileio/frame_sequence.h"

#include "run/capture_folder.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <utility>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

json ToJson(const FileStamp& s)
{
    return {{"path", s.path}, {"size", s.size}, {"modified", s.modified}};
}

FileStamp StampFrom(const json& j)
{
    return {j.at("path").get<std::string>(), j.at("size").get<std::uint64_t>(), j.at("modified").get<std::int64_t>()};
}

std::vector<FileStamp> StampsFrom(const json& list)
{
    std::vector<FileStamp> stamps;
    for (const json& s : list)
        stamps.push_back(StampFrom(s));
    return stamps;
}

json ToJson(const std::vector<FileStamp>& stamps)
{
    json list = json::array();
    for (const FileStamp& s : stamps)
        list.push_back(ToJson(s));
    return list;
}

// An exclusive lock on the folder's lock file for as long as it lives
// (POSIX record locks, which network file systems pass on).
class FolderLock {
public:
    explicit FolderLock(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (m_fd < 0)
            throw std::runtime_error("Couldn't open " + path + ": " + std::strerror(errno));
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        while (::fcntl(m_fd, F_SETLKW, &lock) != 0 && errno == EINTR) {
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock() { ::close(m_fd); }

private:
    int m_fd;
};

std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "unknown";
    return name;
}

// Whether the process that made a claim of this host still runs: a killed
// process may linger unreaped (a zombie), and its number may have gone to a
// process of another program since.
bool Alive(pid_t pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM))
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;   // no /proc: the signal's word stands
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos || end + 2 >= line.size() || line[end + 2] == 'Z')
        return false;
    std::ifstream command("/proc/" + std::to_string(pid) + "/cmdline");
    std::string name;
    std::getline(command, name, '\0');
    return name.find("orbicrop") != std::string::npos;
}

}   // namespace

std::optional<FileStamp> StampOf(const std::string& path)
{
    // A capture saved as still images changes when any of its frames does:
    // it is stamped with their bytes together and the latest change.
    const std::optional<std::vector<std::string>> frames = FrameSequenceFiles(path);
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    for (const std::string& file : frames ? *frames : std::vector<std::string>{path}) {
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0)
            return std::nullopt;
        size += std::uint64_t(st.st_size);
        modified = std::max(modified, std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return FileStamp{ec ? path : absolute.lexically_normal().string(), size, modified};
}

NightManifest::NightManifest(const std::string& outputDir)
    : m_path((fs::path(outputDir) / kNightManifestName).string()),
      m_lockPath((fs::path(outputDir) / ".orbicrop-night.lock").string())
{}

std::vector<NightEntry> NightManifest::read() const
{
    std::ifstream in(m_path);
    if (!in)
        return {};
    // A resume file that cannot be read costs a rerun of everything, not
    // the night: it is rewritten with what this run does.
    const json whole = json::parse(in, nullptr, false);
    std::vector<NightEntry> entries;
    if (whole.is_discarded() || !whole.contains("captures"))
        return entries;
    try {
        for (const json& c : whole.at("captures"))
            entries.push_back({StampsFrom(c.at("inputs")), c.at("options").get<std::string>(),
                               StampsFrom(c.at("outputs")), c.at("status").get<std::string>(),
                               c.value("reason", std::string()),
                               c.contains("card") ? c.at("card").dump() : std::string()});
    } catch (const json::exception&) {
        return {};
    }
    return entries;
}

std::optional<NightEntry> NightManifest::doneBefore(const std::vector<FileStamp>& inputs,
                                                    const std::string& options) const
{
    for (const NightEntry& entry : read()) {
        if (entry.status != "done" || entry.inputs != inputs || entry.options != options || entry.outputs.empty())
            continue;
        const bool intact = std::all_of(entry.outputs.begin(), entry.outputs.end(), [](const FileStamp& output) {
            const auto now = StampOf(output.path);
            return now && now->size == output.size && now->modified == output.modified;
        });
        if (intact)
            return entry;
    }
    return std::nullopt;
}

void NightManifest::record(const NightEntry& entry) const
{
    const FolderLock lock(m_lockPath);
    std::vector<NightEntry> entries = read();
    std::erase_if(entries, [&](const NightEntry& e) {
        return e.inputs.size() == entry.inputs.size()
            && std::equal(e.inputs.begin(), e.inputs.end(), entry.inputs.begin(),
                          [](const FileStamp& a, const FileStamp& b) { return a.path == b.path; });
    });
    entries.push_back(entry);
    json captures = json::array();
    for (const NightEntry& e : entries) {
        json c{{"inputs", ToJson(e.inputs)},
               {"options", e.options},
               {"outputs", ToJson(e.outputs)},
               {"status", e.status},
               {"reason", e.reason}};
        if (json card = json::parse(e.card, nullptr, false); !e.card.empty() && !card.is_discarded())
            c["card"] = std::move(card);
        captures.push_back(std::move(c));
    }
    const std::string temporary = m_path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << json{{"version", 1}, {"captures", captures}}.dump(2) << '\n';
        out.flush();
        if (!out)
            throw std::runtime_error("Couldn't write " + temporary);
    }
    std::error_code ec;
    fs::rename(temporary, m_path, ec);
    if (ec)
        throw std::runtime_error("Couldn't write " + m_path + ": " + ec.message());
}

std::optional<CaptureClaim> CaptureClaim::Take(const std::string& outputDir, const std::string& firstInput,
                                               std::string& holder)
{
    const fs::path folder = fs::path(outputDir) / ".orbicrop-claims";
    std::error_code ec;
    fs::create_directories(folder, ec);
    const auto stamp = StampOf(firstInput);
    const std::string key = std::to_string(std::hash<std::string>{}(stamp ? stamp->path : firstInput));
    const std::string path = (folder / (key + ".claim")).string();
    const std::string me = HostName() + " " + std::to_string(::getpid());
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = ::write(fd, me.data(), me.size()) == ssize_t(me.size());
            ::close(fd);
            if (written)
                return CaptureClaim(path);
            ::unlink(path.c_str());
            return std::nullopt;
        }
        std::ifstream in(path);
        std::string host;
        pid_t pid = 0;
        in >> host >> pid;
        holder = host + " (process " + std::to_string(pid) + ")";
        // A claim of this host whose process is gone was left by a run that
        // was killed: this run takes it over.
        if (host != HostName() || Alive(pid))
            return std::nullopt;
        ::unlink(path.c_str());
    }
    return std::nullopt;
}

CaptureClaim::CaptureClaim(CaptureClaim&& other) noexcept : m_path(std::exchange(other.m_path, {})) {}

CaptureClaim::~CaptureClaim()
{
    if (!m_path.empty())
        ::unlink(m_path.c_str());
}
