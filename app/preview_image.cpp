// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_image.h"

QImage ToQImage(const OutputBitmap& bitmap)
{
    if (bitmap.empty())
        return {};
    // The stored rows are read as an image upside down; mirroring it copies
    // the pixels out of the bitmap, which the caller is about to release.
    const QImage stored(bitmap.data(), bitmap.width(), bitmap.height(), bitmap.stride(), QImage::Format_BGR888);
    return stored.mirrored(false, true);
}
