// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orbicrop::capture {

// A sidecar's lines as both programs write them: "Key=Value" under an
// optional "[Section]" header, read the way a person would read them.
struct SidecarEntry {
    std::string key;     // trimmed
    std::string value;   // trimmed
};

struct SidecarText {
    std::string firstLine;      // the first line that is not blank, trimmed
    std::string firstSection;   // the text of the first "[...]" header
    std::vector<SidecarEntry> entries;

    // The first entry's value under key, in any ASCII case: a key written
    // twice (in two sections) counts as first written.
    std::optional<std::string_view> value(std::string_view key) const;
};

// Splits a sidecar's bytes. A UTF-8 byte order mark is dropped, lines may
// end in CR LF, LF or CR, and text that is not UTF-8 is taken as Latin-1
// (the capture programs write the code page of a Western Windows) and kept
// as UTF-8, so that a name read from it prints the same everywhere.
SidecarText SplitSidecar(std::string_view bytes);

// The number at the start of text, with a decimal point or comma (a German
// Windows writes "0,0125"), and what follows it.
struct LeadingNumber {
    double value;
    std::string_view rest;
};
std::optional<LeadingNumber> ParseLeadingNumber(std::string_view text);

// An exposure: "10.00ms", "1.5s", "500us", "500µs", "315.0000ms". A bare
// number is in seconds when bareIsSeconds, else it is refused. Positive only.
std::optional<double> ParseExposureSeconds(std::string_view text, bool bareIsSeconds);

// A count of frames: digits only.
std::optional<std::int64_t> ParseCount(std::string_view text);

// A frame rate: a number, perhaps followed by "fps".
std::optional<double> ParseFrameRate(std::string_view text);

std::string_view TrimmedText(std::string_view text);

}   // namespace orbicrop::capture
