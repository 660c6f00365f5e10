// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/orbicrop_settings.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

OrbicropSettings LoadFrom(const TempDir& dir, const std::string& content)
{
    const std::string path = dir.file("Orbicrop.ini");
    WriteWholeFile(path, content);
    return LoadOrbicropSettings(path);
}

struct ClampCase {
    const char* file;
    std::int32_t threshold;
    std::int32_t width;
    std::int32_t height;
};

class LoadClamps : public ::testing::TestWithParam<ClampCase> {};

}   // namespace

TEST(LoadOrbicropSettings, WithoutAFileGivesTheDefaults)
{
    TempDir dir;
    const OrbicropSettings s = LoadOrbicropSettings(dir.file("Orbicrop.ini"));
    EXPECT_EQ(s.threshold, 5);
    EXPECT_FALSE(s.showEffect);
    EXPECT_FALSE(s.ignoreIncomplete);
    EXPECT_FALSE(s.debayerSafe);
    EXPECT_TRUE(s.autoColor);
    EXPECT_TRUE(s.color);
    EXPECT_EQ(s.width, 12);
    EXPECT_EQ(s.height, 12);
}

TEST_P(LoadClamps, NumbersLikeTheSlidersThatReceiveThem)
{
    TempDir dir;
    const OrbicropSettings s = LoadFrom(dir, GetParam().file);
    EXPECT_EQ(s.threshold, GetParam().threshold);
    EXPECT_EQ(s.width, GetParam().width);
    EXPECT_EQ(s.height, GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(
    Values, LoadClamps,
    ::testing::Values(ClampCase{"[COG]\nthreshold=250\n[Size]\nwidth=1\nheight=99\n", 100, 2, 40},
                      ClampCase{"[COG]\nthreshold=-300\n[Size]\nwidth=99\nheight=1\n", -100, 40, 2},
                      ClampCase{"[COG]\nthreshold=-100\n[Size]\nwidth=2\nheight=40\n", -100, 2, 40},
                      ClampCase{"[Size]\nwidth=abc\nheight=0x10\n", 5, 12, 16},
                      ClampCase{"[Size]\nwidth=$14\nheight=\n", 5, 20, 12},
                      ClampCase{"[COG]\nthreshold=9999999999\n", 5, 12, 12},
                      ClampCase{"[COG]\nthreshold=$FFFFFFFF\n", -1, 12, 12}));

TEST(LoadOrbicropSettings, BooleansFollowTheIntegerRules)
{
    TempDir dir;
    OrbicropSettings s =
        LoadFrom(dir, "[COG]\nshoweffect=2\n[Output]\nautocolor=\nignoreIncomplete=-1\ndebayersafe=1\n");
    EXPECT_TRUE(s.showEffect);
    EXPECT_TRUE(s.autoColor);
    EXPECT_TRUE(s.ignoreIncomplete);
    EXPECT_TRUE(s.debayerSafe);
    s = LoadFrom(dir, "[Output]\nautocolor=0\n");
    EXPECT_FALSE(s.autoColor);
}

TEST(LoadOrbicropSettings, OutputModeIsNeverLoaded)
{
    TempDir dir;
    EXPECT_TRUE(LoadFrom(dir, "[Output]\ncolor=0\n").color);
}

TEST(SaveOrbicropSettings, FreshFileHoldsTheNineKeysInTheirOrder)
{
    TempDir dir;
    OrbicropSettings s;
    s.threshold = -12;
    s.showEffect = true;
    s.debayerSafe = true;
    s.color = false;
    s.width = 4;
    s.height = 40;
    SaveOrbicropSettings(dir.file("Orbicrop.ini"), s);
    EXPECT_EQ(ReadWholeFile(dir.file("Orbicrop.ini")),
              "[COG]\nthreshold=-12\nshoweffect=1\n"
              "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=0\ndebayersafe=1\n"
              "[Size]\nwidth=4\nheight=40\nauto=0\n");
}

TEST(SaveOrbicropSettings, ChangesOnlyItsKeysWhereTheyStand)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    WriteWholeFile(path,
                   "; my capture rig\n"
                   "[Size]\n"
                   "auto=1\n"
                   "width=20\n"
                   "[Camera]\n"
                   "gain=300\n"
                   "[cog]\n"
                   "Threshold=7\n"
                   "note=keep me\n");
    OrbicropSettings s = LoadOrbicropSettings(path);
    EXPECT_EQ(s.threshold, 7);
    EXPECT_EQ(s.width, 20);
    s.threshold = 8;
    SaveOrbicropSettings(path, s);
    EXPECT_EQ(ReadWholeFile(path),
              "; my capture rig\n"
              "[Size]\n"
              "auto=0\n"
              "width=20\n"
              "height=12\n"
              "[Camera]\n"
              "gain=300\n"
              "[cog]\n"
              "Threshold=8\n"
              "note=keep me\n"
              "showeffect=0\n"
              "[Output]\n"
              "ignoreIncomplete=0\n"
              "autocolor=1\n"
              "color=1\n"
              "debayersafe=0\n");
}

TEST(SaveOrbicropSettings, RoundTripGivesBackWhatWasSaved)
{
    TempDir dir;
    OrbicropSettings saved;
    saved.threshold = 100;
    saved.ignoreIncomplete = true;
    saved.autoColor = false;
    saved.width = 40;
    saved.height = 2;
    SaveOrbicropSettings(dir.file("Orbicrop.ini"), saved);
    const OrbicropSettings loaded = LoadOrbicropSettings(dir.file("Orbicrop.ini"));
    EXPECT_EQ(loaded.threshold, 100);
    EXPECT_TRUE(loaded.ignoreIncomplete);
    EXPECT_FALSE(loaded.autoColor);
    EXPECT_EQ(loaded.width, 40);
    EXPECT_EQ(loaded.height, 2);
}

TEST(SaveOrbicropSettings, DirectoryInPlaceOfTheFileIsReportedWithItsPath)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    std::filesystem::create_directories(path);
    try {
        SaveOrbicropSettings(path, OrbicropSettings{});
        FAIL() << "save succeeded";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
}
