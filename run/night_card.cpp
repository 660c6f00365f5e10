// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/night_card.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using Picture = std::vector<std::uint8_t> NightCapture::*;
struct PictureFile {
    Picture member;
    const char* suffix;
};
constexpr PictureFile kPictures[] = {
    {&NightCapture::bestFramePng, "best"}, {&NightCapture::qualityPng, "quality"}, {&NightCapture::driftPng, "drift"}};

fs::path PicturePath(const std::string& outputDir, const NightCapture& card, const char* suffix)
{
    const std::string key = card.inputs.empty() ? card.name : card.inputs.front();
    return fs::path(outputDir) / ".orbicrop-night"
        / (std::to_string(std::hash<std::string>{}(key)) + "-" + suffix + ".png");
}

}   // namespace

std::string StoreCard(const NightCapture& card, const std::string& outputDir)
{
    json dropped = json::array();
    for (const auto& [reason, count] : card.dropped)
        dropped.push_back({reason, count});
    json j{{"name", card.name},       {"inputs", card.inputs},         {"bytes", card.bytesRead},
           {"outputs", card.outputs}, {"status", card.status},         {"reason", card.reason},
           {"target", card.target},   {"filter", card.filter},         {"camera", card.camera},
           {"seen", card.framesSeen}, {"written", card.framesWritten}, {"dropped", dropped},
           {"seconds", card.seconds}};
    if (card.midUtcTicks)
        j["mid"] = *card.midUtcTicks;
    std::error_code ec;
    fs::create_directories(fs::path(outputDir) / ".orbicrop-night", ec);
    for (const PictureFile& picture : kPictures) {
        const std::vector<std::uint8_t>& bytes = card.*picture.member;
        if (bytes.empty())
            continue;
        std::ofstream out(PicturePath(outputDir, card, picture.suffix), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    return j.dump();
}

std::optional<NightCapture> LoadCard(const std::string& text, const std::string& outputDir)
{
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object())
        return std::nullopt;
    NightCapture card;
    try {
        card.name = j.at("name").get<std::string>();
        card.inputs = j.at("inputs").get<std::vector<std::string>>();
        card.bytesRead = j.at("bytes").get<std::uint64_t>();
        card.outputs = j.at("outputs").get<std::vector<std::string>>();
        card.status = j.at("status").get<std::string>();
        card.reason = j.at("reason").get<std::string>();
        card.target = j.at("target").get<std::string>();
        card.filter = j.at("filter").get<std::string>();
        card.camera = j.at("camera").get<std::string>();
        card.framesSeen = j.at("seen").get<std::int32_t>();
        card.framesWritten = j.at("written").get<std::int32_t>();
        for (const json& d : j.at("dropped"))
            card.dropped.emplace_back(d.at(0).get<std::string>(), d.at(1).get<std::int32_t>());
        card.seconds = j.at("seconds").get<double>();
        if (j.contains("mid"))
            card.midUtcTicks = j.at("mid").get<std::int64_t>();
    } catch (const json::exception&) {
        return std::nullopt;
    }
    for (const PictureFile& picture : kPictures) {
        std::ifstream in(PicturePath(outputDir, card, picture.suffix), std::ios::binary);
        if (in)
            card.*picture.member = std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    return card;
}
