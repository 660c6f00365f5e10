// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ini_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

namespace {

struct IntegerCase {
    const char* text;
    std::optional<std::int32_t> value;
};

class ParseIniIntegerTable : public ::testing::TestWithParam<IntegerCase> {};

IniFile Loaded(const TempDir& dir, const std::string& content)
{
    const std::string path = dir.file("test.ini");
    WriteWholeFile(path, content);
    IniFile ini;
    EXPECT_EQ(ini.load(path), IniFile::LoadResult::Loaded);
    return ini;
}

}   // namespace

TEST_P(ParseIniIntegerTable, ReadsLikeTheProfileFunctions)
{
    EXPECT_EQ(ParseIniInteger(GetParam().text), GetParam().value) << "text: '" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseIniIntegerTable,
    ::testing::Values(IntegerCase{"5", 5}, IntegerCase{"  17", 17}, IntegerCase{"+3", 3}, IntegerCase{"-300", -300},
                      IntegerCase{"007", 7}, IntegerCase{"$10", 16}, IntegerCase{"0x10", 16}, IntegerCase{"0X1f", 31},
                      IntegerCase{"-$10", -16}, IntegerCase{"$FFFFFFFF", -1},
                      IntegerCase{"$80000000", std::numeric_limits<std::int32_t>::min()},
                      IntegerCase{"2147483647", std::numeric_limits<std::int32_t>::max()},
                      IntegerCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                      IntegerCase{"2147483648", std::nullopt}, IntegerCase{"-2147483649", std::nullopt},
                      IntegerCase{"99999999999999999999999", std::nullopt}, IntegerCase{"$100000000", std::nullopt},
                      IntegerCase{"", std::nullopt}, IntegerCase{"   ", std::nullopt}, IntegerCase{"-", std::nullopt},
                      IntegerCase{"$", std::nullopt}, IntegerCase{"0x", std::nullopt}, IntegerCase{"abc", std::nullopt},
                      IntegerCase{"12abc", std::nullopt}, IntegerCase{"1 2", std::nullopt},
                      IntegerCase{"0xG", std::nullopt}, IntegerCase{"1.5", std::nullopt}));

TEST(IniFile, FindsSectionsAndKeysWithoutRegardToCase)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "[cog]\nTHRESHOLD=7\n[Size]\nWidth = 20 \n");
    EXPECT_EQ(ini.readInteger("COG", "threshold", 5), 7);
    EXPECT_EQ(ini.readInteger("size", "width", 12), 20);
    EXPECT_EQ(ini.readString("Size", "width"), "20");
}

TEST(IniFile, ValueIsTheTextAfterTheFirstEqualsSign)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "[A]\nkey =  a=b  \n");
    EXPECT_EQ(ini.readString("A", "key"), "a=b");
}

TEST(IniFile, KeysCountOnlyInTheirOwnSectionAndTheFirstOneWins)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "width=1\n[Other]\nwidth=2\n[Size]\nwidth=3\nwidth=4\n[Size]\nwidth=5\n");
    EXPECT_EQ(ini.readInteger("Size", "width", 12), 3);
    EXPECT_EQ(ini.readInteger("Missing", "width", 12), 12);
    EXPECT_EQ(ini.readInteger("Size", "height", 12), 12);
}

TEST(IniFile, CommentsAreNotKeys)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "[Size]\n;width=30\n# width=31\n");
    EXPECT_EQ(ini.readInteger("Size", "width", 12), 12);
}

TEST(IniFile, ByteOrderMarkDoesNotHideTheFirstSection)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "\xEF\xBB\xBF[COG]\nthreshold=9\n");
    EXPECT_EQ(ini.readInteger("COG", "threshold", 5), 9);
}

TEST(IniFile, BooleansAreIntegersThatAreTrueUnlessZero)
{
    TempDir dir;
    const IniFile ini = Loaded(dir, "[B]\ntwo=2\nminus=-1\nzero=0\nempty=\nword=yes\n");
    EXPECT_TRUE(ini.readBool("B", "two", false));
    EXPECT_TRUE(ini.readBool("B", "minus", false));
    EXPECT_FALSE(ini.readBool("B", "zero", true));
    EXPECT_TRUE(ini.readBool("B", "empty", true));
    EXPECT_FALSE(ini.readBool("B", "word", false));
    EXPECT_TRUE(ini.readBool("B", "word", true));
}

TEST(IniFile, MissingFileReadsAsEmptyAndIsCreatedBySave)
{
    TempDir dir;
    const std::string path = dir.file("new.ini");
    IniFile ini;
    EXPECT_EQ(ini.load(path), IniFile::LoadResult::Missing);
    EXPECT_EQ(ini.readInteger("COG", "threshold", 5), 5);
    ini.writeInteger("COG", "threshold", -7);
    ini.writeBool("Output", "color", true);
    ini.writeBool("COG", "showeffect", false);
    ini.save();
    EXPECT_EQ(ReadWholeFile(path), "[COG]\nthreshold=-7\nshoweffect=0\n[Output]\ncolor=1\n");
}

TEST(IniFile, WriteChangesOnlyItsOwnKeyAndKeepsEverythingElseByteForByte)
{
    TempDir dir;
    const std::string original = "; written by hand\n"
                                 "[Mine]\n"
                                 "colour = blue  ; not a comment\n"
                                 "\n"
                                 "[COG]\n"
                                 "Threshold =  12\n"
                                 "extra=kept\n"
                                 "\n"
                                 "\n"
                                 "[Size]\n"
                                 "width=3";
    IniFile ini = Loaded(dir, original);
    ini.writeInteger("COG", "threshold", 40);   // existing key, in place
    ini.writeInteger("COG", "showeffect", 1);   // new key, after the section's last line
    ini.writeInteger("Size", "height", 8);      // new key in the last section, which had no newline
    ini.writeInteger("Output", "color", 1);     // new section, at the end
    ini.save();
    EXPECT_EQ(ReadWholeFile(ini.path()),
              "; written by hand\n"
              "[Mine]\n"
              "colour = blue  ; not a comment\n"
              "\n"
              "[COG]\n"
              "Threshold =  40\n"
              "extra=kept\n"
              "showeffect=1\n"
              "\n"
              "\n"
              "[Size]\n"
              "width=3\n"
              "height=8\n"
              "[Output]\n"
              "color=1\n");
}

TEST(IniFile, NewLinesFollowTheFilesLineEnding)
{
    TempDir dir;
    IniFile ini = Loaded(dir, "[COG]\r\nthreshold=1\r\n");
    ini.writeInteger("COG", "threshold", 2);
    ini.writeInteger("Size", "width", 4);
    EXPECT_EQ(ini.text(), "[COG]\r\nthreshold=2\r\n[Size]\r\nwidth=4\r\n");
}

TEST(IniFile, SaveKeepsTheFilesPermissions)
{
    TempDir dir;
    IniFile ini = Loaded(dir, "[A]\nb=1\n");
    namespace fs = std::filesystem;
    fs::permissions(ini.path(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ini.writeInteger("A", "b", 2);
    ini.save();
    EXPECT_EQ(fs::status(ini.path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ReadWholeFile(ini.path()), "[A]\nb=2\n");
}

TEST(IniFile, SaveLeavesAReadOnlyFileAlone)
{
    // Read-only even for root: the owner's write bit is what the save honours.
    TempDir dir;
    IniFile ini = Loaded(dir, "[A]\nb=1\n");
    namespace fs = std::filesystem;
    fs::permissions(ini.path(), fs::perms::owner_read | fs::perms::group_read);
    ini.writeInteger("A", "b", 2);
    EXPECT_THROW(ini.save(), SettingsError);
    EXPECT_EQ(ReadWholeFile(ini.path()), "[A]\nb=1\n");
    EXPECT_EQ(fs::status(ini.path()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::group_read);
}

TEST(IniFile, SaveWritesThroughALink)
{
    TempDir dir;
    IniFile ini = Loaded(dir, "[A]\nb=1\n");
    const std::string link = dir.file("link.ini");
    std::filesystem::create_symlink(ini.path(), link);
    IniFile viaLink;
    ASSERT_EQ(viaLink.load(link), IniFile::LoadResult::Loaded);
    viaLink.writeInteger("A", "b", 3);
    viaLink.save();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(ini.path()), "[A]\nb=3\n");
}

TEST(IniFile, SaveThatCannotWriteThrowsUnableToWriteWithThePath)
{
    TempDir dir;
    // A regular file where a directory should be: nothing can be created below it.
    WriteWholeFile(dir.file("plain"), "x");
    IniFile ini;
    const std::string path = dir.file("plain") + "/Orbicrop.ini";
    ini.load(path);
    ini.writeInteger("COG", "threshold", 5);
    try {
        ini.save();
        FAIL() << "save succeeded";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    }
}

TEST(IniFile, DirectoryInPlaceOfTheFileIsUnreadableAndUnwritable)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("Orbicrop.ini"));
    IniFile ini;
    EXPECT_EQ(ini.load(dir.file("Orbicrop.ini")), IniFile::LoadResult::Unreadable);
    EXPECT_THROW(ini.save(), SettingsError);
}
