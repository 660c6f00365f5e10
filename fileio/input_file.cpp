// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/input_file.h"

#include <cassert>
#include <cerrno>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orbicrop::fileio {
namespace {

[[noreturn]] void throwErrno(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

}   // namespace

InputFile InputFile::open(const std::string& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwErrno(errno, "open");
    InputFile file(fd);
    // Only the open must not wait: reads then block as usual, so a pipe whose
    // writer is slow is still read to its end.
    const int now = ::fcntl(fd, F_GETFL);
    if (now < 0 || ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK) < 0)
        throwErrno(errno, "fcntl");
    return file;
}

InputFile::InputFile(InputFile&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            (void)::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

InputFile::~InputFile()
{
    // Nothing written, nothing to lose: a failed close of a reading
    // descriptor has no consequence worth reporting.
    if (m_fd >= 0)
        (void)::close(m_fd);
}

std::uint64_t InputFile::size() const
{
    assert(isOpen());
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throwErrno(errno, "fstat");
    return S_ISREG(st.st_mode) ? std::uint64_t(st.st_size) : 0;
}

std::size_t InputFile::read(std::span<std::uint8_t> out)
{
    assert(isOpen());
    for (;;) {
        const ssize_t got = ::read(m_fd, out.data(), out.size());
        if (got >= 0)
            return std::size_t(got);
        if (errno != EINTR)
            throwErrno(errno, "read");
    }
}

std::size_t InputFile::readAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    assert(isOpen());
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(m_fd, out.data() + done, out.size() - done, off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno, "pread");
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

void InputFile::willRead(std::uint64_t offset, std::size_t bytes) const
{
    (void)::posix_fadvise(m_fd, off_t(offset), off_t(bytes), POSIX_FADV_WILLNEED);
}

}   // namespace orbicrop::fileio
