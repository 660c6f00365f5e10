// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/sidecar.h"

#include <fstream>

namespace orbicrop::capture {

namespace {

// The file's bytes, or nothing when it cannot be opened or is larger than a
// sidecar can be.
std::optional<std::string> SmallFileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes;
    char chunk[1 << 16];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (bytes.size() > kLargestSidecar)
            return std::nullopt;
    }
    if (file.bad())
        return std::nullopt;
    return bytes;
}

// The path without its extension: "/a/b.c/NAME.ser" is "/a/b.c/NAME".
std::string Stem(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path;
    return path.substr(0, dot);
}

}   // namespace

std::optional<CaptureFacts> Completed(CaptureFacts facts)
{
    if (!facts.midUtc && facts.startUtc && facts.endUtc && *facts.startUtc <= *facts.endUtc)
        facts.midUtc = *facts.startUtc + (*facts.endUtc - *facts.startUtc) / 2;
    if (!facts.hasAnyFact())
        return std::nullopt;
    return facts;
}

std::optional<CaptureFacts> SidecarFacts(const std::string& capturePath)
{
    const std::string stem = Stem(capturePath);
    struct Candidate {
        std::string path;
        std::optional<CaptureFacts> (*read)(std::string_view);
    };
    // SharpCap's own suffix first: a NAME.txt may be anyone's notes.
    const Candidate candidates[] = {{stem + ".CameraSettings.txt", SharpCapFacts},
                                    {capturePath + ".CameraSettings.txt", SharpCapFacts},
                                    {stem + ".txt", FireCaptureFacts}};
    for (const Candidate& candidate : candidates) {
        if (candidate.path == capturePath)
            continue;
        const auto text = SmallFileText(candidate.path);
        if (!text)
            continue;
        if (auto facts = candidate.read(*text)) {
            facts->sidecarPath = candidate.path;
            return facts;
        }
    }
    return std::nullopt;
}

}   // namespace orbicrop::capture
