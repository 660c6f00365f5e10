// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/processing_state.h"

void UpdateCropSize(TProcessingState& state, std::int32_t widthPosition, std::int32_t heightPosition)
{
    state.cropWidth = widthPosition * kCropSizeStep;
    state.cropHeight = heightPosition * kCropSizeStep;
}
