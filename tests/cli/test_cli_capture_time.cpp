// SPDX-License-Identifier: GPL-3.0-or-later
// Which source dates a capture: the frames' own stamps, a capture program's
// sidecar, the name, --start-time, in that order; said in the log and the
// report, with a word where two sources disagree.

#include "support/decoded_video.h"
#include "support/disc_video.h"
#include "support/ser_reader.h"
#include "support/ser_writer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "time/capture_time.h"

#include <fitsio.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

CommandResult RunCli(const TempDir& dir, const std::string& args)
{
    return RunCommand(std::string(ORBICROP_CLI) + " -q -W 32 -H 32 --report " + ShellQuote(dir.file("r.json")) + " "
                          + args,
                      dir.path());
}

std::string Report(const TempDir& dir)
{
    return ReadWholeFile(dir.file("r.json"));
}

}   // namespace

// A FireCapture sidecar in local time (LT=UT+2h) dates an AVI at 19:13 UT;
// --start-time, far from it, is only mentioned.
TEST(CaptureTime, ASidecarInLocalTimeDatesTheCaptureInUt)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("jup.avi"), 4);
    WriteWholeFile(dir.file("jup.txt"),
                   "\xEF\xBB\xBF"
                   "FireCapture v2.7.11 Settings\r\n"
                   "------------------------------------\r\n"
                   "Camera=ZWO ASI462MC\r\nFilter=IR685\r\nProfile=Jupiter\r\n"
                   "Date=010324\r\nDate_format=ddMMyy\r\nStart=211300.000\r\n"
                   "Time_format=HHmmss\r\nLT=UT+2h\r\nFPS (avg.)=59,9\r\n"
                   "CMI=123.4\xB0  CMII=56.7\xB0\r\n");
    const auto r = RunCli(dir, "--start-time 2024-03-01T18:00:00Z " + ShellQuote(dir.file("jup.avi")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" - Capture time from the firecapture sidecar: 2024-03-01T19:13:00.0000000Z\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" - The option gives the start as 2024-03-01T18:00:00.0000000Z, -4380.0 s from the "
                         "firecapture sidecar's 2024-03-01T19:13:00.0000000Z, which is taken\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(Report(dir).find("\"time_from\": \"firecapture sidecar\""), std::string::npos) << Report(dir);
}

// A SER's own stamps go before its sidecar; within two seconds of each
// other nothing is said, further apart the log says so.
TEST(CaptureTime, TheFramesOwnStampsWinAndADisagreeingSidecarIsMentioned)
{
    TempDir dir;
    const std::int64_t start = *ParseIsoUtc("2024-03-01T20:10:00Z");
    SerClip clip;
    clip.width = 64;
    clip.height = 48;
    for (std::int32_t f = 0; f < 4; ++f) {
        clip.addFrame([](std::int32_t x, std::int32_t y, std::int32_t) {
            return (x - 32) * (x - 32) + (y - 24) * (y - 24) < 100 ? 200 : 10;
        });
        clip.timestamps.push_back(start + f * kTicksPerSecond / 50);
    }
    dir.write("sat.ser", clip.bytes());
    for (const auto& [sidecarStart, mentioned] : {std::pair{"20:10:01.5", false}, std::pair{"20:10:10", true}}) {
        WriteWholeFile(dir.file("sat.CameraSettings.txt"),
                       std::string("[ZWO ASI585MC]\nStartCapture=2024-03-01T") + sidecarStart + "Z\nFrameCount=4\n");
        const auto r = RunCli(dir, ShellQuote(dir.file("sat.ser")));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(" - Capture time from the ser trailer: 2024-03-01T20:10:00.0000000Z\n"), std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("The sharpcap sidecar gives the start") != std::string::npos, mentioned) << r.out;
        EXPECT_NE(Report(dir).find("\"time_from\": \"ser trailer\""), std::string::npos);
    }
}

// --info prints a capture's facts without processing it, one a line, and
// as JSON with --report: a SharpCap capture in its dated folder, whose
// sidecar names the camera and times in UT.
TEST(CaptureTime, InfoTellsACapturesFactsWithoutProcessingIt)
{
    TempDir dir;
    const std::string folder = dir.file("2024-03-01/Moon");
    std::filesystem::create_directories(folder);
    DiscClip clip;
    clip.write(folder + "/21_13_45.avi", 3);
    WriteWholeFile(folder + "/21_13_45.CameraSettings.txt",
                   "\xEF\xBB\xBF[ZWO ASI585MC]\r\nExposure=2,5000ms\r\nGain=120\r\nTimeZone=+2.00\r\n"
                   "StartCapture=2024-03-01T19:13:45.5000000Z\r\nFrameCount=3\r\n");
    const auto r = RunCommand(std::string(ORBICROP_CLI) + " --info --report " + ShellQuote(dir.file("i.json")) + " "
                                  + ShellQuote(folder + "/21_13_45.avi") + " " + ShellQuote(dir.file("none.avi")),
                              dir.path());
    EXPECT_EQ(r.status, 3);   // the second file does not exist
    EXPECT_NE(r.out.find("  start: 2024-03-01T19:13:45.5000000Z\n  time_from: sharpcap sidecar\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  camera: ZWO ASI585MC\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  exposure_seconds: 0.0025\n"), std::string::npos) << r.out;
    // The local time in the name (21:13:45 at +2 h) agrees with the sidecar: no note.
    EXPECT_EQ(r.out.find("note:"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(folder + "/21_13_45_orbic.avi"));
    const auto jq = RunCommand("jq -e '.files[0].gain == 120 and .files[0].time_from == \"sharpcap sidecar\" and "
                               ".files[1].error != null' "
                                   + ShellQuote(dir.file("i.json")),
                               dir.path());
    EXPECT_EQ(jq.out, "true\n") << ReadWholeFile(dir.file("i.json"));
}

namespace {

std::string Key(fitsfile* file, const char* name)
{
    char text[FLEN_VALUE] = {};
    int status = 0;
    fits_read_key(file, TSTRING, name, text, nullptr, &status);
    if (status != 0)
        return "(none)";
    // Numbers as numbers, whatever digits the writer chose.
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (end != text && *end == '\0') {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", number);
        return shown;
    }
    return text;
}

}   // namespace

// The sidecar's camera, filter, target, exposure and gain reach every FITS
// frame's header and a SER output's instrument; without one, no such key.
TEST(CaptureTime, TheSidecarsFactsReachTheOutputsHeaders)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("jup.avi"), 2);
    clip.write(dir.file("plain.avi"), 2);
    WriteWholeFile(dir.file("jup.txt"),
                   "FireCapture v2.7.11 Settings\r\nCamera=ZWO ASI462MC\r\nFilter=IR685\r\n"
                   "Profile=Jupiter\r\nShutter=8,50ms\r\nGain=300 (50%)\r\n");
    ASSERT_EQ(RunCli(dir,
                     "--format fits --track " + ShellQuote(dir.file("t.csv")) + " " + ShellQuote(dir.file("jup.avi"))
                         + " " + ShellQuote(dir.file("plain.avi")))
                  .status,
              0);
    // The track names them too, on every line of the file they are of.
    const std::string track = ReadWholeFile(dir.file("t.csv"));
    EXPECT_NE(track.find(",camera,filter,target\n"), std::string::npos) << track;
    EXPECT_NE(track.find("\"jup.avi\",1,"), std::string::npos) << track;
    EXPECT_NE(track.find(",\"ZWO ASI462MC\",\"IR685\",\"Jupiter\"\n\"plain.avi\""), std::string::npos) << track;
    EXPECT_EQ(track.substr(track.size() - 4), ",,,\n");
    const auto header = [&](const std::string& path) {
        fitsfile* file = nullptr;
        int status = 0;
        fits_open_diskfile(&file, path.c_str(), READONLY, &status);
        EXPECT_EQ(status, 0) << path;
        std::string keys;
        for (const char* name : {"INSTRUME", "FILTER", "OBJECT", "EXPTIME", "GAIN"})
            keys += std::string(name) + "=" + Key(file, name) + " ";
        fits_close_file(file, &status);
        return keys;
    };
    EXPECT_EQ(header(dir.file("jup_orbic/jup_orbic_000001.fits")),
              "INSTRUME=ZWO ASI462MC FILTER=IR685 OBJECT=Jupiter EXPTIME=0.0085 GAIN=300 ");
    const std::string report = Report(dir);
    EXPECT_NE(report.find("\"camera\": \"ZWO ASI462MC\",\n      \"filter\": \"IR685\",\n      \"target\": \"Jupiter\""),
              std::string::npos)
        << report;
    EXPECT_EQ(header(dir.file("plain_orbic/plain_orbic_000001.fits")),
              "INSTRUME=(none) FILTER=(none) OBJECT=(none) EXPTIME=(none) GAIN=(none) ");
    ASSERT_EQ(RunCli(dir, "--format ser " + ShellQuote(dir.file("jup.avi"))).status, 0);
    EXPECT_EQ(ReadSerFile(dir.file("jup_orbic.ser")).instrument.substr(0, 12), "ZWO ASI462MC");
}

// Without stamps of their own, frames play at the rate the capture program
// measured, before the stream's declared one.
TEST(CaptureTime, TheSidecarsAverageRateComesBeforeTheStreams)
{
    TempDir dir;
    DiscClip clip;
    clip.write(dir.file("jup.avi"), 3);
    WriteWholeFile(dir.file("jup.txt"), "FireCapture v2.7.11 Settings\r\nFPS (avg.)=25,0\r\n");
    const auto r =
        RunCli(dir, "--color --fps source -o " + ShellQuote(dir.file("out")) + " " + ShellQuote(dir.file("jup.avi")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" - Output plays at 25 fps (the capture program's record)\n"), std::string::npos) << r.out;
    EXPECT_EQ(Probe(dir.file("out/jup_orbic.avi"), dir.path()).rate, "25/1") << r.out;
}

// The report's mid-time of what was written is that of the frames kept
// (here the sharpest five of twenty), beside the capture's own.
TEST(CaptureTime, TheReportGivesTheMidTimeOfTheFramesWritten)
{
    TempDir dir;
    const std::int64_t start = *ParseIsoUtc("2024-03-01T20:10:00Z");
    SerClip clip;
    clip.width = 64;
    clip.height = 48;
    for (std::int32_t f = 0; f < 20; ++f) {
        // Every frame a little sharper or softer: the disc's edge in steps.
        const int soft = (f * 7) % 5;
        clip.addFrame([soft](std::int32_t x, std::int32_t y, std::int32_t) {
            const int r2 = (x - 32) * (x - 32) + (y - 24) * (y - 24);
            return r2 < 100 ? 200 : r2 < 100 + 20 * soft ? 120 : 10;
        });
        clip.timestamps.push_back(start + f * kTicksPerSecond / 50);
    }
    dir.write("mars.ser", clip.bytes());
    const auto r = RunCli(dir,
                          "--format ser --keep-best 5 --track " + ShellQuote(dir.file("t.csv")) + " -o "
                              + ShellQuote(dir.file("out")) + " " + ShellQuote(dir.file("mars.ser")));
    ASSERT_EQ(r.status, 0) << r.err;
    // The truth: the written frames' own times, from the track.
    std::optional<std::int64_t> first, last;
    std::istringstream track(ReadWholeFile(dir.file("t.csv")));
    std::string line;
    std::getline(track, line);
    while (std::getline(track, line)) {
        if (line.find(",written,") == std::string::npos)
            continue;
        const std::int64_t utc = *ParseIsoUtc(line.substr(line.find(",written,") + 9, 28));
        first = first ? std::min(*first, utc) : utc;
        last = last ? std::max(*last, utc) : utc;
    }
    ASSERT_TRUE(first && last);
    const auto field = [&](const char* name) {
        const auto q =
            RunCommand("jq -r '.files[0]." + std::string(name) + "' " + ShellQuote(dir.file("r.json")), dir.path());
        return ParseIsoUtc(q.out.substr(0, q.out.find('\n')));
    };
    const std::optional<std::int64_t> written = field("written_mid_time");
    ASSERT_TRUE(written.has_value());
    EXPECT_LE(std::llabs(*written - (*first + (*last - *first) / 2)), kTicksPerSecond / 1000);
    EXPECT_EQ(field("capture_mid_time"), start + 19 * kTicksPerSecond / 100);
}
