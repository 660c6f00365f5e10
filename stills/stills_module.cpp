// SPDX-License-Identifier: GPL-3.0-or-later
#include "stills/stills_module.h"

#include "stills/fits_master.h"
#include "stills/still_frame.h"

#include <cstdio>
#include <exception>

extern "C" int orbicrop_write_still(int format, const char* path, const orbicrop::stills::StillImage* image,
                                    char* error, std::size_t errorSize)
{
    try {
        switch (format) {
        case kStillFits: orbicrop::stills::WriteFitsStill(path, *image); break;
        case kStillPng: orbicrop::stills::WritePngStill(path, *image); break;
        default: orbicrop::stills::WriteTiffStill(path, *image); break;
        }
        return 0;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "Couldn't write %s", path);
    }
    return 1;
}

extern "C" int orbicrop_write_master(const char* path, const orbicrop::stills::FitsMaster* master, char* error,
                                     std::size_t errorSize)
{
    try {
        orbicrop::stills::WriteFitsMaster(path, *master);
        return 0;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "Couldn't write the FITS file %s", path);
    }
    return 1;
}

extern "C" int orbicrop_read_master(const char* path, orbicrop::stills::FitsMaster* master, char* error,
                                    std::size_t errorSize)
{
    try {
        // The caller's master changes only when the whole file was read.
        *master = orbicrop::stills::ReadFitsMaster(path);
        return 0;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "Couldn't read the FITS file %s", path);
    }
    return 1;
}

extern "C" int orbicrop_read_still(const char* path, double floatScale, orbicrop::stills::StillFrame* frame,
                                   char* error, std::size_t errorSize)
{
    try {
        orbicrop::stills::ReadStill(path, floatScale, *frame);
        return 0;
    } catch (const std::exception& e) {
        std::snprintf(error, errorSize, "%s", e.what());
    } catch (...) {
        std::snprintf(error, errorSize, "Couldn't read %s", path);
    }
    return 1;
}
