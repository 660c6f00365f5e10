// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "image/output_bitmap.h"

#include <QImage>

// A deep copy of a bottom-up BGR bitmap as a top-down image for the screen.
QImage ToQImage(const OutputBitmap& bitmap);
