// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/output_file.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace orbicrop::fileio {
namespace {

[[noreturn]] void throwErrno(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

}   // namespace

OutputFile OutputFile::create(const std::string& path)
{
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwErrno(errno, "open");
    return OutputFile(fd, path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_size(std::exchange(other.m_size, 0)),
      m_writtenBehind(std::exchange(other.m_writtenBehind, 0)),
      m_excessPending(std::exchange(other.m_excessPending, false))
{}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_size = std::exchange(other.m_size, 0);
        m_writtenBehind = std::exchange(other.m_writtenBehind, 0);
        m_excessPending = std::exchange(other.m_excessPending, false);
    }
    return *this;
}

OutputFile::~OutputFile()
{
    reset();
}

void OutputFile::reset() noexcept
{
    if (m_fd >= 0) {
        if (m_excessPending)
            (void)::ftruncate(m_fd, off_t(m_size));
        // POSIX does not say whether the descriptor survives EINTR from
        // close(); on Linux it is always released, so no retry.
        (void)::close(m_fd);
        m_fd = -1;
    }
}

void OutputFile::append(std::initializer_list<ByteSpan> pieces)
{
    assert(isOpen());
    std::array<iovec, 4> iov{};
    assert(pieces.size() <= iov.size());
    int count = 0;
    std::uint64_t total = 0;
    for (ByteSpan piece : pieces) {
        if (piece.empty())
            continue;
        iov[count].iov_base = const_cast<std::uint8_t*>(piece.data());
        iov[count].iov_len = piece.size();
        total += piece.size();
        ++count;
    }

    const std::uint64_t start = m_size;
    iovec* next = iov.data();
    std::uint64_t done = 0;
    while (done < total) {
        const ssize_t written = ::writev(m_fd, next, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            // A size limit or a full disk typically lets part of the data in
            // first; cut it off so the file ends on the last complete append.
            rollbackTo(start);
            throwErrno(error, "write");
        }
        if (written == 0) {
            rollbackTo(start);
            throwErrno(EIO, "write");
        }
        done += std::uint64_t(written);
        std::size_t rest = std::size_t(written);
        while (count > 0 && rest >= next->iov_len) {
            rest -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<std::uint8_t*>(next->iov_base) + rest;
            next->iov_len -= rest;
        }
    }
    m_size = start + total;
    writeBehind();
}

void OutputFile::writeBehind() noexcept
{
#if defined(SYNC_FILE_RANGE_WRITE)
    // Starts the disk writing what is appended as it goes, without waiting
    // for it: the output is made durable before it takes its name, and that
    // wait is then for the last few MiB, not for the whole file at the end.
    constexpr std::uint64_t kWriteBehindBytes = std::uint64_t(2) << 20;
    if (m_size - m_writtenBehind < kWriteBehindBytes)
        return;
    (void)::sync_file_range(m_fd, off_t(m_writtenBehind), off_t(m_size - m_writtenBehind), SYNC_FILE_RANGE_WRITE);
    m_writtenBehind = m_size;
#endif
}

void OutputFile::writeAt(std::uint64_t offset, ByteSpan bytes)
{
    assert(isOpen());
    assert(offset + bytes.size() <= m_size);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno, "pwrite");
        }
        if (written == 0)
            throwErrno(EIO, "pwrite");
        done += std::size_t(written);
    }
}

void OutputFile::rollbackTo(std::uint64_t size) noexcept
{
    assert(isOpen());
    m_size = size;
    // The write position must follow even if the cut fails, so that the next
    // append overwrites the excess instead of leaving a hole before it.
    (void)::lseek(m_fd, off_t(size), SEEK_SET);
    m_writtenBehind = std::min(m_writtenBehind, size);
    m_excessPending = ::ftruncate(m_fd, off_t(size)) != 0;
}

void OutputFile::close()
{
    if (m_fd < 0)
        return;
    int error = 0;
    if (m_excessPending && ::ftruncate(m_fd, off_t(m_size)) != 0)
        error = errno;
    m_excessPending = false;
    // Delayed allocation can surface a full disk only here.
    if (::close(m_fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    m_fd = -1;
    if (error != 0)
        throwErrno(error, "close");
}

void OutputFile::discard() noexcept
{
    if (m_fd < 0)
        return;
    (void)::close(m_fd);
    m_fd = -1;
    (void)::unlink(m_path.c_str());
}

}   // namespace orbicrop::fileio
