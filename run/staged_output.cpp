// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/staged_output.h"

#include "run/paths.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

namespace {

// A descriptor opened only to flush a file or folder to disk.
class SyncDescriptor {
public:
    SyncDescriptor(const std::string& path, int flags)
    {
        do {
            m_fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
        } while (m_fd < 0 && errno == EINTR);
    }
    ~SyncDescriptor()
    {
        if (m_fd >= 0)
            (void)::close(m_fd);
    }
    SyncDescriptor(const SyncDescriptor&) = delete;
    SyncDescriptor& operator=(const SyncDescriptor&) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// 0, or the errno value of the failure. The writer has closed its own
// descriptor by now; a write-back error that nobody has seen yet is still
// reported to a descriptor opened afterwards.
int SyncFileData(const std::string& path)
{
    const SyncDescriptor file(path, 0);
    if (file.fd() < 0)
        return errno;
    return ::fdatasync(file.fd()) == 0 ? 0 : errno;
}

// Makes a rename in folder durable. Failures are not told: the output has
// its name by then, and some file systems refuse to flush a folder at all.
void SyncFolder(const std::string& folder)
{
    const SyncDescriptor directory(folder.empty() ? "." : folder, O_DIRECTORY);
    if (directory.fd() >= 0)
        (void)::fsync(directory.fd());
}

// A temporary output: a folder with what it holds when the output is a
// folder, else only a file (or an empty folder).
void Remove(const std::string& path, bool folder)
{
    std::error_code ignored;
    if (folder)
        std::filesystem::remove_all(path, ignored);
    else
        std::filesystem::remove(path, ignored);
}

// Each run that was killed or lost its power left a temporary file under a
// name of its own process id, which no later run would reuse: they are
// removed when an output of the same name opens. A name whose process still
// exists may be a run writing now (another window, another terminal) and is
// left alone, as is a name that does not end in a process id.
void RemoveLeftoversOfDeadRuns(const std::string& finalPath, bool folders)
{
    std::string prefix = FileNameOf(StagedOutput::TemporaryPathFor(finalPath));
    prefix.erase(prefix.rfind('-') + 1);   // ".NAME.partial-"
    const std::string folder = DirectoryOf(finalPath);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        pid_t pid = 0;
        const auto [stop, error] = std::from_chars(first, last, pid);
        if (error != std::errc() || stop != last || pid <= 0)
            continue;
        if (::kill(pid, 0) == -1 && errno == ESRCH)
            Remove(it->path().string(), folders);
    }
}

}   // namespace

std::string StagedOutput::TemporaryPathFor(const std::string& finalPath)
{
    return DirectoryOf(finalPath) + "." + FileNameOf(finalPath) + ".partial-" + std::to_string(::getpid());
}

std::string StagedOutput::FinalPathOf(const std::string& path)
{
    const std::string name = FileNameOf(path);
    const std::size_t mark = name.rfind(".partial-");
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 1)
        return path;
    return DirectoryOf(path) + name.substr(1, mark - 1);
}

StagedOutput::~StagedOutput()
{
    try {
        if (m_output.isOpen())
            m_output.close();
    } catch (...) {
    }
    try {
        settle();
    } catch (...) {
    }
}

void StagedOutput::open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale)
{
    m_finalPath = path;
    m_temporaryPath = TemporaryPathFor(path);
    m_frames = 0;
    m_placed = false;
    m_placedPath.clear();
    struct stat st {};
    m_finalWasFree = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    // A leftover of this process id (a crash, an earlier boot) is replaced.
    Remove(m_temporaryPath, m_output.writesFolder());
    RemoveLeftoversOfDeadRuns(path, m_output.writesFolder());
    try {
        m_output.open(m_temporaryPath, width, height, grayscale);
    } catch (...) {
        Remove(m_temporaryPath, m_output.writesFolder());   // a file made before its headers failed
        throw;
    }
    m_pending = true;
}

void StagedOutput::close()
{
    std::exception_ptr closeError;
    try {
        m_output.close();
    } catch (...) {
        closeError = std::current_exception();
    }
    settle();
    if (closeError)
        std::rethrow_exception(closeError);
}

void StagedOutput::addColorFrame(const OutputBitmap& bitmap, std::int32_t index)
{
    m_output.addColorFrame(bitmap, index);
    ++m_frames;
}

void StagedOutput::addGrayFrame(const OutputBitmap& bitmap, const GrayPlane& plane, std::int32_t index)
{
    m_output.addGrayFrame(bitmap, plane, index);
    ++m_frames;
}

void StagedOutput::addSamples(const SampleFrame& frame, std::optional<std::int64_t> utcTicks, std::int32_t index)
{
    m_output.addSamples(frame, utcTicks, index);
    ++m_frames;
}

void StagedOutput::settle()
{
    if (!m_pending)
        return;
    m_pending = false;
    if (m_frames == 0) {
        Remove(m_temporaryPath, m_output.writesFolder());
        return;
    }
    const std::string finalPath = m_output.finalPathFor(m_finalPath);
    const auto refuse = [&](int error) {
        return OutputPlacementError("The new output could not replace " + FileNameOf(finalPath) + " ("
                                    + std::strerror(error) + "); its frames are kept in "
                                    + FileNameOf(m_temporaryPath));
    };
    // The frames reach the disk before the name does: otherwise a crash soon
    // after the rename can leave the final name on a short or empty file,
    // where the older output used to be.
    if (const int error = SyncFileData(m_temporaryPath); error != 0)
        throw refuse(error);
    // rename(2) within one folder replaces the final name in one step: a
    // reader sees either the older output or the complete new one. A folder
    // cannot replace a folder that holds files: the two swap names, and the
    // older one goes.
    std::error_code ec;
    if (m_finalWasFree && finalPath == m_finalPath) {
        // Free when this run began: another run that took it since has
        // finished first, and keeps it. File systems without the flag
        // (EINVAL) get the plain rename.
        if (::renameat2(AT_FDCWD, m_temporaryPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST)
                throw OutputPlacementError("Another run wrote " + FileNameOf(finalPath)
                                           + " while this one ran, and keeps it; this run's frames are kept in "
                                           + FileNameOf(m_temporaryPath));
            if (errno != EINVAL || ::rename(m_temporaryPath.c_str(), finalPath.c_str()) != 0)
                throw refuse(errno);
        }
    } else if (std::filesystem::is_directory(m_temporaryPath, ec) && std::filesystem::is_directory(finalPath, ec)) {
        if (::renameat2(AT_FDCWD, m_temporaryPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_EXCHANGE) != 0)
            throw refuse(errno);
        std::error_code ignored;
        std::filesystem::remove_all(m_temporaryPath, ignored);
    } else if (::rename(m_temporaryPath.c_str(), finalPath.c_str()) != 0) {
        throw refuse(errno);
    }
    SyncFolder(DirectoryOf(finalPath));
    m_placed = true;
    m_placedPath = finalPath;
}
