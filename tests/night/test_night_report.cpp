// SPDX-License-Identifier: GPL-3.0-or-later
#include "night/night_report.h"
#include "night_sample.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

// What jq prints for a filter over a JSON file, raw and joined.
std::string Jq(const std::string& filter, const std::string& path, const TempDir& scratch)
{
    const CommandResult r = RunProgram({"jq", "-j", filter, path}, scratch.path());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

std::set<std::string> FilesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

}   // namespace

// One reckoning: what TotalsOf adds up is what the page and the JSON show,
// and frames read are accounted for as written or dropped for a reason.
TEST(NightReport, TotalsAddUpAndThePageAndTheJsonShowThem)
{
    TempDir dir;
    const NightFacts night = FourCaptureNight(dir.path());

    const NightTotals t = TotalsOf(night);
    EXPECT_EQ(t.captures, 4);
    EXPECT_EQ(t.done, 2);
    EXPECT_EQ(t.skipped, 1);
    ASSERT_EQ(t.failed.size(), 1u);
    EXPECT_EQ(t.failed[0].name, "Saturn.avi");
    EXPECT_EQ(t.failed[0].reason, "the file ends inside frame 13");
    // The skipped capture was not read tonight: neither its bytes nor frames.
    EXPECT_EQ(t.framesRead, 3000 + 2000 + 12);
    EXPECT_EQ(t.framesWritten, 2700 + 1900);
    EXPECT_EQ(t.dropped, (ReasonCounts{{"no planet", 252}, {"cut", 100}, {"dim", 60}}));
    EXPECT_EQ(t.framesRead, t.framesWritten + t.framesDropped());
    EXPECT_EQ(t.framesUnaccounted(), 0);
    EXPECT_EQ(t.bytesRead, 5'600'000'000u);

    const std::string html = dir.file("night.html");
    WriteNightReport(night, html);
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"night.html", "night.json"}));

    const std::string json = dir.file("night.json");
    EXPECT_EQ(
        Jq(".totals | [.captures, .done, .failed, .skipped, .frames_read, .frames_written, .dropped[\"no "
           "planet\"], .dropped.cut, .dropped.dim, .bytes_read, .failures[0].reason] | map(tostring) | join(\" \")",
           json, dir),
        "4 2 1 1 5012 4600 252 100 60 5600000000 the file ends inside frame 13");
    EXPECT_EQ(Jq("[.captures[] | .mid_time] | map(tostring) | join(\" \")", json, dir),
              "2026-12-09T21:13:20.0000000Z null null null");
    EXPECT_EQ(Jq("[.captures[0].frames.dropped.cut, .captures[1].inputs[1], .seconds] | map(tostring) | join(\" \")",
                 json, dir),
              "100 /captures/Jupiter_213500_2.ser 3725.4");

    const std::string page = ReadWholeFile(html);
    for (const char* shown :
         {"id=\"captures\">4<", "id=\"captures-done\">2<", "id=\"captures-failed\">1<", "id=\"captures-skipped\">1<",
          "id=\"frames-read\">5012<", "id=\"frames-written\">4600<", "data-reason=\"no planet\">252<",
          "data-reason=\"cut\">100<", "data-reason=\"dim\">60<", "id=\"bytes-read\">5.60 GB<",
          "id=\"time-taken\">1:02:05<", "the file ends inside frame 13", "2026-12-09 21:13:20 UT", "time unknown"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
}

// File names hold what both formats give a meaning to; the page shows them
// as text, the JSON keeps them as strings, and links stay links.
TEST(NightReport, NamesAreEscapedInThePageAndKeptInTheJson)
{
    TempDir dir;
    const std::string name = "a<b>&\"c\".ser";
    NightFacts night;
    night.title = "<night>";
    NightCapture c;
    c.name = name;
    c.inputs = {"/in/" + name};
    c.status = "failed";
    c.reason = "line\none\ttab \\ \x01 bad \xff byte";
    c.outputs = {dir.path() + "/out/" + "a<b>&\"c\" #1.avi", "/elsewhere/x y.avi"};
    c.dropped = {{"<cut>", 3}};
    c.framesSeen = 3;
    night.captures = {c};
    WriteNightReport(night, dir.file("night.html"));

    const std::string page = ReadWholeFile(dir.file("night.html"));
    EXPECT_NE(page.find("<h2>a&lt;b&gt;&amp;&quot;c&quot;.ser</h2>"), std::string::npos);
    EXPECT_NE(page.find("<h1>&lt;night&gt;</h1>"), std::string::npos);
    EXPECT_NE(page.find("data-reason=\"&lt;cut&gt;\">3</b> &lt;cut&gt;"), std::string::npos);
    EXPECT_EQ(page.find("a<b"), std::string::npos);
    EXPECT_EQ(page.find("\xff"), std::string::npos);
    EXPECT_NE(page.find("href=\"out/a%3Cb%3E%26%22c%22%20%231.avi\">a&lt;b&gt;&amp;&quot;c&quot; #1.avi</a>"),
              std::string::npos);
    EXPECT_NE(page.find("href=\"file:///elsewhere/x%20y.avi\">x y.avi</a>"), std::string::npos);

    const std::string json = dir.file("night.json");
    EXPECT_EQ(Jq(".captures[0].name", json, dir), name);
    EXPECT_EQ(Jq(".captures[0].reason", json, dir), "line\none\ttab \\ \x01 bad \xEF\xBF\xBD byte");
    EXPECT_EQ(Jq(".title + .captures[0].outputs[0] + (.totals.dropped[\"<cut>\"] | tostring)", json, dir),
              "<night>" + c.outputs[0] + "3");
}

// A report that cannot be put in place names its path and leaves no part
// of itself behind: here its name is taken by a folder.
TEST(NightReport, AReportThatCannotBePlacedNamesItsPathAndLeavesNoPart)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("night.html"));
    try {
        WriteNightReport(FourCaptureNight(dir.path()), dir.file("night.html"));
        FAIL() << "no error for a report over a folder";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(dir.file("night.html")), std::string::npos) << e.what();
    }
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"night.html", "night.json"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("night.html")));
}

// A night.html or night.json of the user's own in the folder is never
// written over; a report of ours is, by the next run.
TEST(NightReport, AUsersOwnFileOfTheNameIsKeptAndOursIsRewritten)
{
    TempDir dir;
    const NightFacts night = FourCaptureNight(dir.path());
    WriteNightReport(night, dir.file("night.html"));
    WriteNightReport(night, dir.file("night.html"));
    EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"night.html", "night.json"}));

    for (const char* own : {"night.html", "night.json"}) {
        TempDir other;
        std::ofstream(other.file(own)) << "my notes of the night";
        EXPECT_THROW(WriteNightReport(night, other.file("night.html")), std::runtime_error) << own;
        std::ifstream kept(other.file(own));
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "my notes of the night") << own;
    }
}
