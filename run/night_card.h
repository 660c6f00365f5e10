// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "night/night_facts.h"

#include <optional>
#include <string>

// A capture's card as the night's resume file keeps it: its facts as JSON
// text, its pictures as PNG files in the output folder's .orbicrop-night
// folder (named after its first input), so that a rerun's report shows the
// captures an earlier run did as that run saw them. Storing is best effort:
// a picture that cannot be written is left out of the card.
std::string StoreCard(const NightCapture& card, const std::string& outputDir);
// The card back, with whichever of its pictures are still there; nothing
// when the text is not a card.
std::optional<NightCapture> LoadCard(const std::string& text, const std::string& outputDir);
