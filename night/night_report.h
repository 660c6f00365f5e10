// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "night/night_facts.h"
#include "night/night_totals.h"

#include <string>

// The night's report: a page to look at the night on and the same facts for
// scripts. Both take their totals from TotalsOf, so they never disagree.

// The page: self-contained (pictures embedded as data: URIs; no script, no
// font, no stylesheet fetched from anywhere; readable without JavaScript),
// links to outputs relative to htmlDir when they lie under it.
std::string NightReportHtml(const NightFacts& night, const std::string& htmlDir);
// The same facts for scripts and archives, without the pictures.
std::string NightReportJson(const NightFacts& night);
// Writes htmlPath and night.json beside it, each through a temporary file
// renamed over the final one (a killed run never leaves half a report).
// Throws std::runtime_error naming the path when it cannot be written.
void WriteNightReport(const NightFacts& night, const std::string& htmlPath);
