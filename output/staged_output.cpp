// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/staged_output.h"

#include "output/paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor of our own on a file or folder, closed with it.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const std::string& path, int flags)
    {
        do {
            m_fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
        } while (m_fd < 0 && errno == EINTR);
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            (void)::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int fd() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

// 0, or the errno value of the failure. The writer has closed its own
// descriptor by now; a write-back error that nobody has seen yet is still
// reported to a descriptor opened afterwards.
int SyncFileData(const std::string& path)
{
    const Descriptor file(path, 0);
    if (file.fd() < 0)
        return errno;
    return ::fdatasync(file.fd()) == 0 ? 0 : errno;
}

// Makes a rename in folder durable. Failures are not told: the output has
// its name by then, and some file systems refuse to flush a folder at all.
void SyncFolder(const std::string& folder)
{
    const Descriptor directory(folder.empty() ? "." : folder, O_DIRECTORY);
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

bool SameFile(int fd, const std::string& path)
{
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev
        && held.st_ino == named.st_ino;
}

// A file name may not be longer than this many bytes (ext4, XFS, btrfs).
constexpr std::size_t kNameMax = NAME_MAX;

// ".NAME.partial-", or for a name too long to take the additions, its start
// (cut where no UTF-8 character is split) and "~": the part of a temporary
// name that tells whose it is.
std::string TemporaryPrefixFor(const std::string& finalPath)
{
    const std::string name = FileNameOf(finalPath);
    // ".", ".partial-", a process id of up to 7 digits, ".K".
    constexpr std::size_t kAdded = 1 + 9 + 7 + 4;
    if (name.size() + kAdded <= kNameMax)
        return DirectoryOf(finalPath) + "." + name + ".partial-";
    std::size_t keep = kNameMax - kAdded - 1;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return DirectoryOf(finalPath) + "." + name.substr(0, keep) + "~.partial-";
}

std::string TemporaryPath(const std::string& finalPath, int attempt)
{
    std::string path = TemporaryPrefixFor(finalPath) + std::to_string(::getpid());
    if (attempt > 1)
        path += "." + std::to_string(attempt);
    return path;
}

// A temporary output that no run holds is a leftover of one that was killed
// or lost its power: it is removed, under the lock, so that no run can take
// it up meanwhile. Returns whether it was.
bool RemoveIfNobodyHolds(const std::string& path, bool folder)
{
    const Descriptor held(path, O_NOFOLLOW | O_NONBLOCK);
    if (held.fd() < 0 || ::flock(held.fd(), LOCK_EX | LOCK_NB) != 0 || !SameFile(held.fd(), path))
        return false;
    Remove(path, folder);
    return true;
}

// Every temporary output of finalPath, whichever process made it: the
// prefix, then a process id and an optional ".K".
bool IsTemporaryOf(const std::string& name, const std::string& prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = name.substr(prefix.size());
    const std::size_t dot = rest.find('.');
    const auto digits = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    return digits(rest.substr(0, dot)) && (dot == std::string::npos || digits(rest.substr(dot + 1)));
}

void RemoveLeftovers(const std::string& finalPath, bool folders)
{
    const std::string prefix = FileNameOf(TemporaryPrefixFor(finalPath));
    const std::string folder = DirectoryOf(finalPath);
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec))
        if (IsTemporaryOf(it->path().filename().string(), prefix))
            (void)RemoveIfNobodyHolds(it->path().string(), folders);
}

// "jup_orbic.avi", "incomplete", 2 -> "jup_orbic-incomplete-2.avi"; a folder
// has no extension.
std::string AsidePath(const std::string& finalPath, bool folder, const std::string& tag, int number)
{
    const std::string name = FileNameOf(finalPath);
    const std::size_t dot = folder ? std::string::npos : name.rfind('.');
    const std::size_t at = finalPath.size() - name.size() + (dot == std::string::npos || dot == 0 ? name.size() : dot);
    std::string added = tag.empty() ? "" : "-" + tag;
    if (number > 1 || tag.empty())
        added += "-" + std::to_string(number);
    return finalPath.substr(0, at) + added + finalPath.substr(at);
}

// Renames from to to unless something has that name; false when it has.
bool RenameIfFree(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)   // a file system without the flag: checked, then renamed
        return false;
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}   // namespace

std::string StagedOutput::TemporaryPathFor(const std::string& finalPath)
{
    return TemporaryPath(finalPath, 1);
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
        if (m_output.isOpen()) {
            m_failed = true;   // never closed: the run did not end as it should
            m_output.close();
        }
    } catch (...) {
    }
    try {
        settle();
    } catch (...) {
    }
    if (m_lock >= 0)
        (void)::close(m_lock);
}

// Makes the temporary name, where nothing has it, and takes its lock before
// anyone can take the file for a leftover: a run that finds it between the
// two removes it, and it is made again.
void StagedOutput::stage(const std::string& finalPath)
{
    const bool folder = m_output.writesFolder();
    for (int attempt = 1, tries = 0; tries < 100; ++tries) {
        m_temporaryPath = TemporaryPath(finalPath, attempt);
        const auto create = [&] {
            if (!folder)
                return ::open(m_temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (::mkdir(m_temporaryPath.c_str(), 0777) != 0)
                return -1;
            return ::open(m_temporaryPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        };
        Descriptor made(create());
        if (made.fd() < 0) {
            if (errno != EEXIST)
                return;   // the output's own open tells why the folder takes no file
            if (!RemoveIfNobodyHolds(m_temporaryPath, folder))
                ++attempt;   // a live run's, of our process id in another namespace
            continue;
        }
        if (::flock(made.fd(), LOCK_EX) == 0 && SameFile(made.fd(), m_temporaryPath)) {
            m_lock = made.release();
            return;
        }
    }
}

void StagedOutput::open(const std::string& path, std::int32_t width, std::int32_t height, bool grayscale)
{
    m_finalPath = path;
    m_frames = 0;
    m_placed = false;
    m_failed = false;
    m_placedPath.clear();
    if (m_lock >= 0)
        (void)::close(std::exchange(m_lock, -1));
    struct stat st {};
    m_finalWasFree = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    RemoveLeftovers(path, m_output.writesFolder());
    stage(path);
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
        m_failed = true;   // the file may lack its end: it replaces nothing
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

// Moves the frames to a visible name beside finalPath, where no later run
// takes them for a leftover, and says why and where.
void StagedOutput::keepAside(const std::string& finalPath, const std::string& why, bool failed)
{
    const bool folder = m_output.writesFolder();
    const std::string frames = std::to_string(m_frames) + (m_frames == 1 ? " frame" : " frames");
    for (int number = failed ? 1 : 2; number < 1000; ++number) {
        const std::string aside = AsidePath(finalPath, folder, failed ? "incomplete" : "", number);
        if (RenameIfFree(m_temporaryPath, aside)) {
            SyncFolder(DirectoryOf(aside));
            throw OutputPlacementError(why + "; its " + frames + " are kept in " + FileNameOf(aside));
        }
        if (errno != EEXIST)
            break;
    }
    throw OutputPlacementError(why + "; its " + frames + " are kept in " + FileNameOf(m_temporaryPath));
}

void StagedOutput::settle()
{
    if (!m_pending)
        return;
    m_pending = false;
    const bool folder = m_output.writesFolder();
    if (m_frames == 0) {
        Remove(m_temporaryPath, folder);
        return;
    }
    const std::string finalPath = m_output.finalPathFor(m_finalPath);
    const std::string name = FileNameOf(finalPath);
    // What was written must still be where it was written before anything
    // is said to be kept there.
    if (m_lock >= 0 && !SameFile(m_lock, m_temporaryPath))
        throw OutputPlacementError("This run's frames were written to " + FileNameOf(m_temporaryPath)
                                   + ", which something else removed or replaced meanwhile: they are lost");
    // The frames reach the disk before the name does: otherwise a crash soon
    // after the rename can leave the final name on a short or empty file,
    // where the older output used to be.
    if (const int error = SyncFileData(m_temporaryPath); error != 0)
        keepAside(finalPath, "The new output could not be written to disk (" + std::string(std::strerror(error)) + ")",
                  true);
    // A name the frames chose is claimed now, as a plain one was before the run.
    if (m_claims != nullptr && finalPath != m_finalPath)
        if (const auto why = m_claims->claim(m_input, finalPath, folder))
            keepAside(finalPath, "The output " + name + " " + *why, false);
    struct stat st {};
    const bool taken = ::lstat(finalPath.c_str(), &st) == 0;
    if (m_failed && taken)
        keepAside(finalPath, "The run failed, so it did not replace the older " + name, true);
    // rename(2) within one folder replaces the final name in one step: a
    // reader sees either the older output or the complete new one. A folder
    // cannot replace a folder that holds files: the two swap names, and the
    // older one goes.
    if ((m_finalWasFree && finalPath == m_finalPath) || !taken) {
        // Free when this run began: another run that took it since has
        // finished first, and keeps it.
        if (!RenameIfFree(m_temporaryPath, finalPath)) {
            if (errno == EEXIST)
                keepAside(finalPath, "Another run wrote " + name + " while this one ran, and keeps it", false);
            keepAside(finalPath, "The new output could not take the name " + name + " (" + std::strerror(errno) + ")",
                      false);
        }
    } else if (folder) {
        // Only a folder of nothing but frames is replaced.
        if (const auto foreign = ForeignEntryIn(finalPath))
            keepAside(finalPath,
                      *foreign == finalPath ? "Something other than a folder of frames has the name " + name
                                            : "The folder " + name + " holds " + FileNameOf(*foreign)
                              + ", which is not one of its frames, so it was not replaced",
                      false);
        if (::renameat2(AT_FDCWD, m_temporaryPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_EXCHANGE) != 0)
            keepAside(finalPath, "The new output could not replace " + name + " (" + std::strerror(errno) + ")", false);
        std::error_code ignored;
        std::filesystem::remove_all(m_temporaryPath, ignored);
    } else if (::rename(m_temporaryPath.c_str(), finalPath.c_str()) != 0) {
        keepAside(finalPath, "The new output could not replace " + name + " (" + std::strerror(errno) + ")", false);
    }
    SyncFolder(DirectoryOf(finalPath));
    m_placed = true;
    m_placedPath = finalPath;
}
