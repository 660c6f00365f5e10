// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fitsio.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// An image written with cfitsio as another program would: these values
// (upright, interleaved) stored in rows bottom-up, or top-down when said.
inline void WriteWithCfitsio(const std::string& path, int type, const std::vector<LONGLONG>& axes,
                             const std::vector<double>& upright, bool topDown,
                             const std::function<void(fitsfile*, int*)>& keys = {})
{
    fitsfile* file = nullptr;
    int status = 0;
    fits_create_diskfile(&file, path.c_str(), &status);
    std::vector<LONGLONG> size = axes;
    fits_create_imgll(file, type, int(size.size()), size.data(), &status);
    if (keys)
        keys(file, &status);
    if (!upright.empty()) {
        const LONGLONG w = axes[0], h = axes[1], planes = axes.size() == 3 ? axes[2] : 1;
        std::vector<double> stored(upright.size());
        for (LONGLONG y = 0; y < h; ++y)
            for (LONGLONG x = 0; x < w; ++x)
                for (LONGLONG p = 0; p < planes; ++p)
                    stored[std::size_t((p * h + (topDown ? y : h - 1 - y)) * w + x)] =
                        upright[std::size_t((y * w + x) * planes + p)];
        fits_write_img(file, TDOUBLE, 1, LONGLONG(stored.size()), stored.data(), &status);
    }
    fits_close_file(file, &status);
    ASSERT_EQ(status, 0) << path;
}
