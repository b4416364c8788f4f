// Folders named on the tool's command line against stored Windows paths:
// whole folder names, any letter case, with or without a trailing backslash.
#include <gtest/gtest.h>

#include "maintenance/folder_match.h"

namespace vellum {
namespace {

TEST(FolderPrefix, HoldsWholeFolderNamesOnlyInAnyCaseWithOrWithoutTrailingBackslash) {
    for (const char16_t* written : {u"D:\\Music", u"D:\\Music\\", u"d:\\MUSIC", u"D:/Music/"}) {
        const FolderPrefix folder(written);
        EXPECT_TRUE(folder.Holds(u"D:\\Music\\a.flac"));
        EXPECT_TRUE(folder.Holds(u"D:\\Music\\Sub\\b.wav"));
        EXPECT_TRUE(folder.Holds(u"D:\\music\\a.flac"));
        EXPECT_FALSE(folder.Holds(u"D:\\Music2\\a.flac"));
        EXPECT_FALSE(folder.Holds(u"D:\\Musi\\a.flac"));
        EXPECT_FALSE(folder.Holds(u"D:\\Music"));
        EXPECT_FALSE(folder.Holds(u"D:\\Music\\"));
        EXPECT_FALSE(folder.Holds(u"http://host/D:\\Music\\a.mp3"));
    }
}

TEST(FolderPrefix, CueTracksGoByTheirSheetsFolder) {
    const FolderPrefix folder(u"D:\\Music");
    EXPECT_TRUE(folder.Holds(u"D:\\Music\\album.cue/3"));
    EXPECT_EQ(folder.MapTo(u"D:\\Music\\album.cue/3", FolderPrefix(u"E:\\New\\")), u"E:\\New\\album.cue/3");
    // A host track whose first "/" comes right after the folder's name is not below it.
    EXPECT_FALSE(folder.Holds(u"D:\\Music/x"));
}

TEST(FolderPrefix, MapsKeepingTheRestOfThePathAsStored) {
    const FolderPrefix from(u"d:\\music\\");
    EXPECT_EQ(from.MapTo(u"D:\\Music\\Artist\\Song.FLAC", FolderPrefix(u"E:\\Library")),
              u"E:\\Library\\Artist\\Song.FLAC");
    EXPECT_EQ(FolderPrefix(u"D:\\").MapTo(u"D:\\a\\b.wav", FolderPrefix(u"F:\\")), u"F:\\a\\b.wav");
}

TEST(FolderPrefix, LettersBeyondAsciiCompareWithoutCase) {
    EXPECT_TRUE(FolderPrefix(u"D:\\Musique\\Été").Holds(u"D:\\MUSIQUE\\ÉTÉ\\a.flac"));
    EXPECT_TRUE(FolderPrefix(u"D:\\Музыка").Holds(u"D:\\МУЗЫКА\\a.flac"));
    EXPECT_TRUE(FolderPrefix(u"D:\\音楽").Holds(u"D:\\音楽\\a.flac"));
    EXPECT_FALSE(FolderPrefix(u"D:\\音楽").Holds(u"D:\\音楽2\\a.flac"));
}

TEST(FolderPrefix, EnclosesItselfAndFoldersBelowIt) {
    const FolderPrefix music(u"D:\\Music");
    EXPECT_TRUE(music.Encloses(FolderPrefix(u"d:\\music\\")));
    EXPECT_TRUE(music.Encloses(FolderPrefix(u"D:\\Music\\Old")));
    EXPECT_FALSE(music.Encloses(FolderPrefix(u"D:\\Music2")));
    EXPECT_FALSE(FolderPrefix(u"D:\\Music\\Old").Encloses(music));
    EXPECT_FALSE(FolderPrefix(u"\\").Valid());
    EXPECT_FALSE(FolderPrefix(u"").Valid());
}

}  // namespace
}  // namespace vellum
