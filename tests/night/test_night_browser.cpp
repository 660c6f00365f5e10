// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/night_report.h"
#include "night_sample.h"
#include "support/chromium.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "test_pictures.h"

#include <gtest/gtest.h>

#include <regex>

// The page as a reader sees it: a real browser draws the embedded pictures
// (the planet's and the curve's colours are on the screen) and finds the
// totals where scripts look for them.
TEST(NightReport, ChromiumDrawsThePicturesAndFindsTheTotals)
{
    TempDir dir;
    NightFacts night = FourCaptureNight(dir.path());
    for (NightCapture& c : night.captures)
        if (c.status == "done") {
            c.bestFramePng = PlanetPng(240);
            c.qualityPng = PlotPng();
            c.driftPng = PlotPng();
        }
    const std::string html = dir.file("night.html");
    WriteNightReport(night, html);

    const std::string page = ReadWholeFile(html);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    EXPECT_FALSE(std::regex_search(page, std::regex(R"(src="(?!data:))")));

    Chromium({"--screenshot=" + dir.file("shot.png"), "--window-size=1366,900", "file://" + html}, dir);
    const RgbPicture shot = ReadPng(dir.file("shot.png"));
    EXPECT_EQ(shot.width, 1366u);
    // Two thumbnails of a 240-pixel disc drawn at most 200 wide, part of
    // them in the planet's lighter band; and the curves' ink.
    EXPECT_GT(shot.count(kPlanet[0], kPlanet[1], kPlanet[2], 8), 4000);
    EXPECT_GT(shot.count(kCurve[0], kCurve[1], kCurve[2], 8), 500);

    const std::string dom = Chromium({"--dump-dom", "file://" + html}, dir);
    EXPECT_NE(dom.find("id=\"frames-read\">5012</b>"), std::string::npos) << dom.substr(0, 2000);
    EXPECT_NE(dom.find("id=\"frames-written\">4600</b>"), std::string::npos);
}
