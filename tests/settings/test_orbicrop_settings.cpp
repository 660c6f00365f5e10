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

// Each key of the output's frame rate, the output folder, keep-going, open filter, colour, large-size, rejection and score-floor
// choices
// appears once its choice leaves the default and then stays, so that taking a
// choice back is saved too; the others stay out, as all of them do from a
// file saved with the defaults (FreshFileHoldsTheNineKeysInTheirOrder).
TEST(SaveOrbicropSettings, LaterKeysAppearOnceChosenAndStay)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    OrbicropSettings chosen;
    chosen.bayer = BayerPattern::Gbrg;
    chosen.debayer = true;
    chosen.debayerMethod = DemosaicMethod::Bilinear;
    chosen.largeSize = true;
    chosen.largeWidth = 4096;
    chosen.fullFrame = true;
    chosen.keepBest = 80;
    chosen.keepBestUnit = KeepBestUnit::Score;
    chosen.rejectCut = true;
    chosen.rejectMaxSaturated = 0.3;
    chosen.rejectDim = 40;
    chosen.outputFolder = "/data/night of 12 May";
    chosen.fps = *ParseOutputRate("59.94");
    chosen.keepGoing = true;
    chosen.openFilter = "ser";
    chosen.frameRange = true;
    chosen.framesFirst = 100;
    chosen.join = true;
    chosen.timeRange = true;
    chosen.timeFirst = 23 * 3600 + 50 * 60;
    chosen.timeEnd = 600;
    chosen.segment = true;
    SaveOrbicropSettings(path, chosen);
    const std::string cogKeys = "[COG]\nthreshold=5\nshoweffect=0\n";
    const std::string outputKeys = "[Output]\nignoreIncomplete=0\nautocolor=1\ncolor=1\ndebayersafe=0\n";
    const std::string sizeKeys = "[Size]\nwidth=12\nheight=12\nauto=0\n";
    EXPECT_EQ(ReadWholeFile(path),
              cogKeys + outputKeys + "fps=59.94\nfolder=/data/night of 12 May\n" + sizeKeys
                  + "large=1\nlargewidth=4096\nwholeframe=1\n"
                    "[Batch]\nkeepgoing=1\n[Open]\nfilter=ser\n"
                    "[Colour]\nbayer=GBRG\ndebayer=1\ndebayermethod=bilinear\n"
                    "[Centring]\nlargestobject=0\nsurface=0\nsurfacerefresh=50\nkeepbest=80\nkeepbestframes=0\n"
                    "bestframe=0\nkeepbestscore=1\n"
                    "[Reject]\ncut=1\nmaxsaturated=0.3\ndim=40\n[Frames]\nrange=1\nfirst=100\njoin=1\ntimerange=1\n"
                    "times=23:50:00-00:10:00\nsegment=1\n");
    EXPECT_EQ(FramesFrom(LoadOrbicropSettings(path)), (FrameRange{100, std::nullopt}));
    const OrbicropSettings loaded = LoadOrbicropSettings(path);
    EXPECT_TRUE(loaded.join);
    EXPECT_EQ(TimeRangeFrom(loaded), (TimeRange{23 * 3600 + 50 * 60, 600}));
    EXPECT_EQ(SegmentFrom(loaded), std::optional(120));
    const ColourOptions colour = ColourFrom(loaded);
    EXPECT_EQ(colour.declaredBayer, std::optional(BayerPattern::Gbrg));
    EXPECT_TRUE(colour.debayer);
    EXPECT_EQ(colour.method, DemosaicMethod::Bilinear);
    EXPECT_TRUE(loaded.largeSize);
    EXPECT_EQ(loaded.largeWidth, 4096);
    EXPECT_EQ(loaded.largeHeight, 768);
    EXPECT_TRUE(loaded.fullFrame);
    EXPECT_EQ(loaded.outputFolder, "/data/night of 12 May");
    EXPECT_EQ(loaded.fps, (OutputRate{false, {60000, 1001}}));
    EXPECT_TRUE(loaded.keepGoing);
    EXPECT_EQ(loaded.openFilter, "ser");
    CentringOptions centring = CentringFrom(loaded);
    EXPECT_EQ(centring.keepBest.kind, KeepBest::Kind::Floor);
    EXPECT_EQ(centring.keepBest.floor, 0.80);
    EXPECT_TRUE(centring.reject.cut);
    EXPECT_EQ(centring.reject.minSize, 0);
    EXPECT_EQ(centring.reject.maxSaturated, std::optional(0.3));
    EXPECT_EQ(centring.reject.dimPercent, std::optional(40.0));

    SaveOrbicropSettings(path, OrbicropSettings{});
    EXPECT_EQ(ReadWholeFile(path),
              cogKeys + outputKeys + "fps=30\nfolder=\n" + sizeKeys
                  + "large=0\nlargewidth=1024\nwholeframe=0\n"
                    "[Batch]\nkeepgoing=0\n[Open]\nfilter=avi\n"
                    "[Colour]\nbayer=none\ndebayer=0\ndebayermethod=edge-aware\n"
                    "[Centring]\nlargestobject=0\nsurface=0\nsurfacerefresh=50\nkeepbest=0\nkeepbestframes=0\n"
                    "bestframe=0\nkeepbestscore=0\n"
                    "[Reject]\ncut=0\nmaxsaturated=off\ndim=off\n[Frames]\nrange=0\nfirst=0\njoin=0\ntimerange=0\n"
                    "times=00:00:00-00:02:00\nsegment=0\n");
    EXPECT_TRUE(FramesFrom(LoadOrbicropSettings(path)).whole());
    centring = CentringFrom(LoadOrbicropSettings(path));
    EXPECT_EQ(ColourFrom(LoadOrbicropSettings(path)).declaredBayer, std::nullopt);
    EXPECT_EQ(LoadOrbicropSettings(path).outputFolder, "");
    EXPECT_FALSE(LoadOrbicropSettings(path).keepGoing);
    EXPECT_FALSE(centring.keepBest.active() || centring.reject.active());
}

// The colours' alignment is one more key of "Colour", written once chosen
// and kept when taken back; the core takes it as correcting.
TEST(SaveOrbicropSettings, AlignRgbIsAColourKeyOnceChosen)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    OrbicropSettings chosen;
    chosen.alignRgb = true;
    SaveOrbicropSettings(path, chosen);
    EXPECT_NE(ReadWholeFile(path).find("[Colour]\nalignrgb=1\n"), std::string::npos) << ReadWholeFile(path);
    EXPECT_EQ(ColourFrom(LoadOrbicropSettings(path)).alignRgb, AlignRgb::Correct);
    SaveOrbicropSettings(path, OrbicropSettings{});
    EXPECT_NE(ReadWholeFile(path).find("alignrgb=0\n"), std::string::npos) << ReadWholeFile(path);
    EXPECT_EQ(ColourFrom(LoadOrbicropSettings(path)).alignRgb, AlignRgb::Off);
}

// Levels are read back as saved, gamma included; taken back they are
// saved as "none"; text that names no levels (an empty span, beyond 16
// bits, a gamma of 0) leaves the top 8 bits.
TEST(SaveOrbicropSettings, LevelsRoundTripAndNonsenseIsNone)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    OrbicropSettings chosen;
    chosen.levels = ParseLevels("212:1180:1.5");
    ASSERT_TRUE(chosen.levels);
    SaveOrbicropSettings(path, chosen);
    EXPECT_NE(ReadWholeFile(path).find("[Colour]\nlevels=212:1180:1.5\n"), std::string::npos) << ReadWholeFile(path);
    const std::optional<LevelsChoice> read = ColourFrom(LoadOrbicropSettings(path)).levels;
    ASSERT_TRUE(read);
    EXPECT_EQ(read->black, 212);
    EXPECT_EQ(read->white, 1180);
    EXPECT_EQ(read->gamma, 1.5);
    SaveOrbicropSettings(path, OrbicropSettings{});
    EXPECT_NE(ReadWholeFile(path).find("levels=none\n"), std::string::npos) << ReadWholeFile(path);
    EXPECT_FALSE(LoadOrbicropSettings(path).levels);
    for (const char* nonsense : {"500:500", "0:70000", "0:4095:0", "auto2", "12:", "-5:100"})
        EXPECT_FALSE(LoadFrom(dir, std::string("[Colour]\nlevels=") + nonsense + "\n").levels) << nonsense;
    EXPECT_TRUE(LoadFrom(dir, "[Colour]\nlevels=auto\n").levels->automatic);
}

// What the window's controls cannot show falls back to what they can: no
// pattern, the usual method, a size in 16-pixel steps within 32..4096, a
// rejection in its range or off, the score floor in hundredths up to 1.
TEST(LoadOrbicropSettings, LaterKeysOutsideTheChoicesFallBack)
{
    TempDir dir;
    OrbicropSettings s = LoadFrom(dir,
                                  "[Colour]\nbayer=RGBG\ndebayermethod=nearest\n"
                                  "[Size]\nlargewidth=5000\nlargeheight=1000\n"
                                  "[Centring]\nkeepbest=250\nkeepbestframes=1\nkeepbestscore=1\n"
                                  "[Reject]\nminsize=9999\nmaxsaturated=1,5\ndim=0\n");
    EXPECT_EQ(s.bayer, std::nullopt);
    EXPECT_EQ(s.debayerMethod, ColourOptions{}.method);
    EXPECT_EQ(s.largeWidth, 4096);
    EXPECT_EQ(s.largeHeight, 992);
    EXPECT_EQ(s.keepBestUnit, KeepBestUnit::Score);
    EXPECT_EQ(s.keepBest, 100);
    EXPECT_EQ(s.rejectMinSize, 4096);
    EXPECT_EQ(s.rejectMaxSaturated, std::nullopt);
    EXPECT_EQ(s.rejectDim, std::nullopt);
    s = LoadFrom(dir,
                 "[colour]\nbayer = bggr\ndebayermethod=Bilinear\n[Size]\nlargewidth=-7\nlargeheight=abc\n"
                 "[reject]\nminsize=-3\nmaxsaturated = 12.345\ndim=250\n");
    EXPECT_EQ(s.bayer, std::optional(BayerPattern::Bggr));
    EXPECT_EQ(s.debayerMethod, DemosaicMethod::Bilinear);
    EXPECT_EQ(s.largeWidth, 32);
    EXPECT_EQ(s.largeHeight, 768);
    EXPECT_EQ(s.rejectMinSize, 0);
    EXPECT_EQ(s.rejectMaxSaturated, std::optional(12.3));
    EXPECT_EQ(s.rejectDim, std::optional(100));
    for (const char* bad : {"nan", "inf", "", "1e999", "off"})
        EXPECT_EQ(LoadFrom(dir, std::string("[Reject]\nmaxsaturated=") + bad + "\n").rejectMaxSaturated, std::nullopt)
            << bad;
    EXPECT_EQ(LoadFrom(dir, "[Reject]\nmaxsaturated=-2\n").rejectMaxSaturated, std::optional(0.0));
    for (const char* bad : {"fast", "0", "2000", "25,5"})
        EXPECT_TRUE(LoadFrom(dir, std::string("[Output]\nfps=") + bad + "\n").fps.isDefault()) << bad;
    EXPECT_TRUE(LoadFrom(dir, "[Output]\nfps=Source\n").fps.source);
}

// "auto" is a choice of its own: saved as such, read back as detection with
// no pattern declared, and gone once a pattern is chosen instead.
TEST(SaveOrbicropSettings, BayerAutoRoundTrips)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    OrbicropSettings s;
    s.bayerAuto = true;
    SaveOrbicropSettings(path, s);
    EXPECT_NE(ReadWholeFile(path).find("[Colour]\nbayer=auto\n"), std::string::npos);
    ColourOptions colour = ColourFrom(LoadOrbicropSettings(path));
    EXPECT_TRUE(colour.detectBayer);
    EXPECT_EQ(colour.declaredBayer, std::nullopt);
    s = LoadOrbicropSettings(path);
    s.bayerAuto = false;
    s.bayer = BayerPattern::Grbg;
    SaveOrbicropSettings(path, s);
    colour = ColourFrom(LoadOrbicropSettings(path));
    EXPECT_FALSE(colour.detectBayer);
    EXPECT_EQ(colour.declaredBayer, std::optional(BayerPattern::Grbg));
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

// The orientation's keys are written once chosen, read back into the colour
// choices, and kept, at their defaults, once taken back.
TEST(SaveOrbicropSettings, OrientationKeysRoundTripOnceChosen)
{
    TempDir dir;
    const std::string path = dir.file("Orbicrop.ini");
    SaveOrbicropSettings(path, OrbicropSettings{});
    EXPECT_EQ(ReadWholeFile(path).find("rotate"), std::string::npos) << ReadWholeFile(path);
    OrbicropSettings chosen;
    chosen.rotate = 270;
    chosen.flip = Flip::V;
    chosen.meridianFlip = 23 * 60 + 40;
    SaveOrbicropSettings(path, chosen);
    EXPECT_NE(ReadWholeFile(path).find("rotate=270\nflip=v\nmeridianflip=23:40\n"), std::string::npos)
        << ReadWholeFile(path);
    const ColourOptions colour = ColourFrom(LoadOrbicropSettings(path));
    EXPECT_EQ(colour.rotate, 270);
    EXPECT_EQ(colour.flip, Flip::V);
    EXPECT_EQ(colour.meridianFlip, 23 * 60 + 40);
    SaveOrbicropSettings(path, OrbicropSettings{});
    EXPECT_NE(ReadWholeFile(path).find("rotate=0\nflip=none\nmeridianflip=off\n"), std::string::npos)
        << ReadWholeFile(path);
    const ColourOptions back = ColourFrom(LoadOrbicropSettings(path));
    EXPECT_EQ(back.rotate, 0);
    EXPECT_EQ(back.flip, Flip::None);
    EXPECT_EQ(back.meridianFlip, std::nullopt);
}
