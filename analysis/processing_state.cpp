// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/processing_state.h"

#include <algorithm>

void UpdateCropSize(TProcessingState& state, std::int32_t widthPosition, std::int32_t heightPosition)
{
    state.cropWidth = widthPosition * kCropSizeStep;
    state.cropHeight = heightPosition * kCropSizeStep;
}

void TakeWholeFrame(TProcessingState& state, std::int32_t inputWidth, std::int32_t inputHeight)
{
    state.cropWidth = std::max(2, inputWidth / 2 * 2);
    state.cropHeight = std::max(2, inputHeight / 2 * 2);
}
