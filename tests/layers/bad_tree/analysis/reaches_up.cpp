// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/processing_state.h"
#include "avi/avi_writer.h"
