// SPDX-License-Identifier: GPL-3.0-or-later
// Sidecars in the forms FireCapture and SharpCap write them, found beside a
// capture; and what is no sidecar, which must give no facts and no throw.

#include "capture/sidecar.h"
#include "time/capture_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace orbicrop::capture;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::string name = (std::filesystem::temp_directory_path() / "orbicrop-capture-XXXXXX").string();
        if (!mkdtemp(name.data()))
            throw std::runtime_error("no temporary folder");
        path_ = name;
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string write(const std::string& name, const std::string& bytes) const
    {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string Iso(std::optional<std::int64_t> ticks)
{
    return ticks ? IsoUtcMillis(*ticks) : "none";
}

}   // namespace

TEST(Sidecar, FireCaptureFileBesideTheCaptureGivesEveryFact)
{
    TempFolder folder;
    // As a French Windows writes it: CR LF, Latin-1 degree signs and accents.
    folder.write("cap.txt",
                 "FireCapture v2.7.11 Settings\r\n------------------------------------\r\n"
                 "Observer=Unknown\r\nCamera=ZWO ASI462MC\r\nFilter=M\xE9thane\r\nProfile=Jupiter\r\n"
                 "CMI=304.1\xB0 CMII=115.4\xB0 CMIII=76.8\xB0  (during mid of capture)\r\n"
                 "Date=010324\r\nStart=221000.000\r\nMid=221024.500\r\nEnd=221049.000\r\n"
                 "Start(UT)=201000.000\r\nMid(UT)=201024.500\r\nEnd(UT)=201049.000\r\n"
                 "Duration=49.000s\r\nDate_format=ddMMyy\r\nTime_format=HHmmss\r\nLT=UT+2h \r\n"
                 "Frames captured=4900\r\nFPS (avg.)=100,0\r\nShutter=10.00ms\r\nGain=300 (50%)\r\n"
                 "ROI=640x480\r\nBit depth=8bit\r\n");
    const auto facts = SidecarFacts(folder / "cap.ser");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->source, FactsSource::FireCaptureSidecar);
    EXPECT_EQ(facts->sidecarPath, folder / "cap.txt");
    EXPECT_EQ(Iso(facts->startUtc), "2024-03-01T20:10:00.000");
    EXPECT_EQ(Iso(facts->midUtc), "2024-03-01T20:10:24.500");
    EXPECT_EQ(Iso(facts->endUtc), "2024-03-01T20:10:49.000");
    EXPECT_EQ(facts->utcOffsetSeconds, 7200);
    EXPECT_EQ(facts->framesCaptured, 4900);
    EXPECT_EQ(facts->averageFps, 100.0);
    EXPECT_DOUBLE_EQ(*facts->exposureSeconds, 0.010);
    EXPECT_EQ(facts->gain, 300.0);
    EXPECT_EQ(facts->camera, "ZWO ASI462MC");
    EXPECT_EQ(facts->filter, "M\xC3\xA9thane");
    EXPECT_EQ(facts->target, "Jupiter");
}

TEST(Sidecar, SharpCapFileBesideTheCaptureGivesEveryFact)
{
    TempFolder folder;
    folder.write("20_10_00.CameraSettings.txt",
                 "\xEF\xBB\xBF[ZWO ASI462MC]\r\nDebayer Preview=On\r\nColour Space=RAW8\r\nExposure=0,0125\r\n"
                 "Gain=300\r\nActualFrameRate=79,98fps\r\nStartCapture=2024-03-01T20:10:00.1234567Z\r\n"
                 "EndCapture=2024-03-01T20:11:00.1234567Z\r\nFrameCount=4799\r\nTimeZone=+1,00\r\n"
                 "Filter=R\r\nTarget=Jupiter\r\n[Capture]\r\nGain=0\r\n");
    const auto facts = SidecarFacts(folder / "20_10_00.ser");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->source, FactsSource::SharpCapSidecar);
    EXPECT_EQ(facts->sidecarPath, folder / "20_10_00.CameraSettings.txt");
    EXPECT_EQ(Iso(facts->startUtc), "2024-03-01T20:10:00.123");
    EXPECT_EQ(Iso(facts->midUtc), "2024-03-01T20:10:30.123");   // from start and end
    EXPECT_EQ(Iso(facts->endUtc), "2024-03-01T20:11:00.123");
    EXPECT_EQ(facts->utcOffsetSeconds, 3600);
    EXPECT_EQ(facts->framesCaptured, 4799);
    EXPECT_DOUBLE_EQ(*facts->averageFps, 79.98);
    EXPECT_DOUBLE_EQ(*facts->exposureSeconds, 0.0125);
    EXPECT_EQ(facts->gain, 300.0);   // the first section's, not [Capture]'s
    EXPECT_EQ(facts->camera, "ZWO ASI462MC");
    EXPECT_EQ(facts->filter, "R");
    EXPECT_EQ(facts->target, "Jupiter");

    folder.write("b.ser.CameraSettings.txt", "[QHY5III462C]\nGain=20\n");
    const auto named = SidecarFacts(folder / "b.ser");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->sidecarPath, folder / "b.ser.CameraSettings.txt");
    EXPECT_EQ(named->camera, "QHY5III462C");
}

struct FireCaptureTimeRow {
    const char* name;
    const char* lines;
    const char* start;
};

void PrintTo(const FireCaptureTimeRow& row, std::ostream* out)
{
    *out << row.name;
}

class FireCaptureTimes : public testing::TestWithParam<FireCaptureTimeRow> {};

// The start as FireCapture's keys give it in UT, whatever zone, date order
// and midnight stand between the local and the UT time.
TEST_P(FireCaptureTimes, StartInUt)
{
    const auto facts =
        FireCaptureFacts(std::string("FireCapture v2.7.11 Settings\nFrames captured=1\n") + GetParam().lines);
    ASSERT_TRUE(facts);
    EXPECT_EQ(Iso(facts->startUtc), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(
    Sidecar, FireCaptureTimes,
    testing::Values(
        FireCaptureTimeRow{"LocalTurnedToUt", "Date=010324\nDate_format=ddMMyy\nStart=211300\nLT=UT+2h\n",
                           "2024-03-01T19:13:00.000"},
        FireCaptureTimeRow{"UtKeyWinsOverLocal",
                           "Date=010324\nDate_format=ddMMyy\nStart=211300\nStart(UT)=191500.250\nLT=UT+2h\n",
                           "2024-03-01T19:15:00.250"},
        FireCaptureTimeRow{"WestOfGreenwichIntoTheNextDay",
                           "Date=010324\nDate_format=ddMMyy\nStart=211300.000\nLT=UT-5h\n", "2024-03-02T02:13:00.000"},
        FireCaptureTimeRow{"HalfHourZone", "Date=010324\nDate_format=ddMMyy\nStart=211300\nLT=UT+5.5h\n",
                           "2024-03-01T15:43:00.000"},
        FireCaptureTimeRow{"UtDayBeforeTheLocalDate",
                           "Date=020324\nDate_format=ddMMyy\nStart=003000\nStart(UT)=223000\nLT=UT+2h\n",
                           "2024-03-01T22:30:00.000"},
        FireCaptureTimeRow{"NameDatesTheUtTime",
                           "Filename=2024-03-01-2230_5-U-R-Jup.ser\nDate=020324\nDate_format=ddMMyy\n"
                           "Start(UT)=223000\n",
                           "2024-03-01T22:30:00.000"},
        FireCaptureTimeRow{
            "YearFirstDateAndColons",
            "Date=2024-03-01\nDate_format=yyyy-MM-dd\nTime_format=HH:mm:ss.sss\nStart(UT)=19:13:00.125\nLT=UT\n",
            "2024-03-01T19:13:00.125"},
        FireCaptureTimeRow{"LocalTimeWithoutZoneDatesNothing", "Date=010324\nDate_format=ddMMyy\nStart=211300\n",
                           "none"},
        FireCaptureTimeRow{"ImpossibleDate", "Date=300224\nDate_format=ddMMyy\nStart(UT)=211300\nLT=UT\n", "none"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SharpCapValueRow {
    const char* name;
    const char* lines;
    double exposure;   // NaN: none
    const char* start;
};

void PrintTo(const SharpCapValueRow& row, std::ostream* out)
{
    *out << row.name;
}

class SharpCapValues : public testing::TestWithParam<SharpCapValueRow> {};

TEST_P(SharpCapValues, ExposureAndStart)
{
    const auto facts = SharpCapFacts(std::string("[ZWO ASI224MC]\n") + GetParam().lines);
    ASSERT_TRUE(facts);
    if (std::isnan(GetParam().exposure))
        EXPECT_FALSE(facts->exposureSeconds);
    else
        EXPECT_DOUBLE_EQ(facts->exposureSeconds.value_or(-1), GetParam().exposure);
    EXPECT_EQ(Iso(facts->startUtc), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(
    Sidecar, SharpCapValues,
    testing::Values(SharpCapValueRow{"Milliseconds", "Exposure=315.0000ms\n", 0.315, "none"},
                    SharpCapValueRow{"Seconds", "Exposure = 20.000s\n", 20.0, "none"},
                    SharpCapValueRow{"BareSeconds", "Exposure=0.0125\n", 0.0125, "none"},
                    SharpCapValueRow{"MicroSign", "Exposure=500\xC2\xB5s\n", 0.0005, "none"},
                    SharpCapValueRow{"Latin1MicroSign", "Exposure=500\xB5s\n", 0.0005, "none"},
                    SharpCapValueRow{"NoNumber", "Exposure=lots\n", NAN, "none"},
                    SharpCapValueRow{"ZoneWritten", "StartCapture=2024-03-01T21:10:00.5+01:00\n", NAN,
                                     "2024-03-01T20:10:00.500"},
                    SharpCapValueRow{"ZoneStatedApart", "StartCapture=2024-03-01 21:10:00\nTimeZone=+01:00\n", NAN,
                                     "2024-03-01T20:10:00.000"},
                    SharpCapValueRow{"LocalWithoutZone", "StartCapture=2024-03-01T21:10:00\n", NAN, "none"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Sidecar, WhatIsNoSidecarGivesNoFactsAndNoThrow)
{
    TempFolder folder;
    EXPECT_FALSE(SidecarFacts(folder / "missing.ser"));
    folder.write("notes.txt", "shopping list\nbuy=milk\n");   // a NAME.txt of someone else's
    EXPECT_FALSE(SidecarFacts(folder / "notes.avi"));
    EXPECT_FALSE(FireCaptureFacts(""));
    EXPECT_FALSE(SharpCapFacts("[]\n=\n==\n[\n"));

    // Unreadable values leave their facts empty and no other.
    const auto partial = FireCaptureFacts("FireCapture v2.7 Settings\nCamera=X\nShutter=fast\nFrames captured=-3\n");
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->camera, "X");
    EXPECT_FALSE(partial->exposureSeconds || partial->framesCaptured || partial->startUtc);

    // A sidecar is refused past its largest size, and read up to it.
    const std::string head = "FireCapture v2.7.11 Settings\nCamera=X\n";
    folder.write("big.txt", head + std::string(kLargestSidecar - head.size() + 1, '\n'));
    EXPECT_FALSE(SidecarFacts(folder / "big.ser"));
    folder.write("full.txt", head + std::string(kLargestSidecar - head.size(), '\n'));
    EXPECT_TRUE(SidecarFacts(folder / "full.ser"));

    // Bytes of the sidecars' own alphabet, shuffled.
    constexpr std::string_view kAlphabet = "=[]\r\n0123456789.,:+-UT()hms FireCapture\xB0\xC3\xEF\xBB\xBF";
    std::string noise(1 << 16, '\0');
    std::uint32_t state = 12345;
    for (char& c : noise) {
        state = state * 1664525u + 1013904223u;
        c = kAlphabet[(state >> 16) % kAlphabet.size()];
    }
    EXPECT_NO_THROW(FireCaptureFacts(noise));
    EXPECT_NO_THROW(SharpCapFacts(noise));
}
