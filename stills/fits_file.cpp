// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/fits_file.h"

#include "stills/still_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace orbicrop::stills {

namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

// A name no other file has in path's folder, hidden, that cfitsio may create:
// mkstemp claims it and it is given back at once, as cfitsio makes only
// files that do not exist yet. A file another process makes there meanwhile
// fails the write rather than being written over.
std::string TemporaryBeside(const std::string& path)
{
    const std::filesystem::path target(path);
    // The name stays within the file system's 255 bytes.
    std::string name = ".";
    name += target.filename().string().substr(0, 200);
    name += ".XXXXXX";
    const std::string pattern = (target.parent_path() / name).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0)
        throw StillError("Couldn't create the FITS file " + path + ": " + Reason(errno));
    ::close(fd);
    ::unlink(buffer.data());
    return buffer.data();
}

}   // namespace

NewFitsFile::NewFitsFile(std::string path, Sync sync)
    : m_path(std::move(path)), m_temporary(TemporaryBeside(m_path)), m_sync(sync)
{
    fits_create_diskfile(&m_file, m_temporary.c_str(), &m_status);
    if (m_status != 0)
        m_file = nullptr;
    check("create");
}

NewFitsFile::~NewFitsFile()
{
    int ignored = 0;
    if (m_file != nullptr)
        fits_delete_file(m_file, &ignored);
    else if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

void NewFitsFile::check(const char* what)
{
    if (m_status == 0)
        return;
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(m_status, text);
    throw StillError(std::string("Couldn't ") + what + " the FITS file " + m_path + " (" + text + ")");
}

void NewFitsFile::commit()
{
    fits_close_file(m_file, &m_status);
    m_file = nullptr;
    check("write");
    if (m_sync == Sync::Yes) {
        const int fd = ::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC);
        const bool synced = fd >= 0 && ::fsync(fd) == 0;
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (!synced)
            throw StillError("Couldn't write the FITS file " + m_path + ": " + Reason(error));
    }
    if (std::rename(m_temporary.c_str(), m_path.c_str()) != 0)
        throw StillError("Couldn't write the FITS file " + m_path + ": " + Reason(errno));
    m_temporary.clear();
}

void NewFitsFile::key(const char* name, const std::string& value, const char* comment)
{
    if (!value.empty())
        fits_update_key_str(m_file, name, value.c_str(), comment, &m_status);
}

void NewFitsFile::key(const char* name, int value, const char* comment)
{
    fits_update_key_lng(m_file, name, value, comment, &m_status);
}

void NewFitsFile::key(const char* name, double value, const char* comment)
{
    // Seventeen digits give back the very double.
    fits_update_key_dbl(m_file, name, value, -17, comment, &m_status);
}

void NewFitsFile::mosaic(const std::string& pattern)
{
    if (pattern.empty())
        return;
    // Beside ROWORDER BOTTOM-UP the pattern is named as the picture reads
    // from its top-left sample, whatever order the rows are stored in:
    // readers that honour ROWORDER (Siril among them) turn it over
    // themselves for bottom-up rows, so naming it for the stored rows would
    // turn it over twice and swap red and green rows with blue and green.
    key("BAYERPAT", pattern, "Bayer pattern from the top-left pixel");
    key("XBAYROFF", 0, "X offset of the Bayer pattern");
    key("YBAYROFF", 0, "Y offset of the Bayer pattern");
}

}   // namespace orbicrop::stills
