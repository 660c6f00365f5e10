// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fitsio.h>

#include <string>

namespace orbicrop::stills {

// A FITS file being written through cfitsio, closed however the writing
// ends. It is made under a hidden name beside path and renamed over path
// only once whole, so that a failed write leaves whatever was there before
// and never half a file. Both names reach cfitsio through its disk-file
// calls, which take a name as it is: its ordinary ones read brackets, '!',
// '(' and the like as instructions, and "dark[1].fits" would write a file
// named "dark".
class NewFitsFile {
public:
    // Whether the file reaches the disk before it takes its name: a master
    // frame is worth the wait, one still of a folder flushed whole later is
    // not.
    enum class Sync { No, Yes };

    explicit NewFitsFile(std::string path, Sync sync = Sync::No);
    ~NewFitsFile();
    NewFitsFile(const NewFitsFile&) = delete;
    NewFitsFile& operator=(const NewFitsFile&) = delete;

    fitsfile* get() const { return m_file; }
    int* status() { return &m_status; }
    // Throws StillError "Couldn't <what> the FITS file <path> (<cfitsio's
    // reason>)" when a call since the last check failed.
    void check(const char* what);
    // Closes the file and puts it in place over path; throws StillError.
    void commit();

    // Keys of the header; an empty string writes none.
    void key(const char* name, const std::string& value, const char* comment);
    void key(const char* name, int value, const char* comment);
    void key(const char* name, double value, const char* comment);
    // BAYERPAT, XBAYROFF and YBAYROFF for a mosaic named from the upright
    // picture's top-left sample ("RGGB", ...); nothing when empty.
    void mosaic(const std::string& pattern);

private:
    std::string m_path;
    std::string m_temporary;
    fitsfile* m_file = nullptr;
    int m_status = 0;
    Sync m_sync;
};

}   // namespace orbicrop::stills
