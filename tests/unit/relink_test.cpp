// Relinking a moved music folder: which rows move, how rows that meet an
// existing row merge, that a dry run writes nothing, and a 100,000-row
// library where every count must add up and nothing outside the folder moves.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "library_file.h"
#include "maintenance/relink.h"

namespace vellum {
namespace {

RelinkReport RelinkNow(const LibraryFile& library, const char16_t* from, const char16_t* to, bool apply = true) {
    return Relink(library.Get(), FolderPrefix(from), FolderPrefix(to), apply, nullptr);
}

PlayRow Row(const LibraryFile& library, const std::string& name) {
    PlayRow row{-1, -1, -1};
    EXPECT_TRUE(library.Find(name, row)) << name;
    return row;
}

TEST(Relink, MovesRowsBelowTheOldFolderCueTracksIncludedAndNothingElse) {
    LibraryFile library;
    library.Insert("D:\\Music\\a.flac", {3, 100, 2});
    library.Insert("d:\\music\\Sub\\b.wav", {1, 50, 0});
    library.Insert("D:\\Music\\album.cue/2", {4, 70, 0});
    library.Insert("D:\\Music2\\c.flac", {9, 9, 9});
    library.Insert("http://radio/D:\\Music\\x", {1, 1, 1});
    const RelinkReport report = RelinkNow(library, u"D:\\Music\\", u"E:\\Library");
    ASSERT_EQ(report.outcome, LibraryWork::Done);
    EXPECT_EQ(report.changes.size(), 3u);
    EXPECT_EQ(report.merged, 0u);
    EXPECT_EQ(Row(library, "E:\\Library\\a.flac").playcount, 3);
    EXPECT_EQ(Row(library, "E:\\Library\\Sub\\b.wav").lastplayed, 50);
    EXPECT_EQ(Row(library, "E:\\Library\\album.cue/2").playcount, 4);
    EXPECT_EQ(Row(library, "D:\\Music2\\c.flac").playcount, 9);
    EXPECT_EQ(Row(library, "http://radio/D:\\Music\\x").playcount, 1);
    EXPECT_EQ(library.Count(), 5);
}

TEST(Relink, ARowMeetingAnExistingRowMergesIntoIt) {
    LibraryFile library;
    // Counts add, the later time wins, the new row's rating stays where it has one.
    library.Insert("D:\\Music\\rated.flac", {5, 300, 4});
    library.Insert("E:\\New\\rated.flac", {2, 400, 1}, "new title");
    // The old row's rating is taken where the new row has none.
    library.Insert("D:\\Music\\unrated.flac", {1, 900, 3});
    library.Insert("E:\\New\\unrated.flac", {6, 200, 0});
    const RelinkReport report = RelinkNow(library, u"D:\\Music", u"E:\\New");
    EXPECT_EQ(report.merged, 2u);
    const PlayRow rated = Row(library, "E:\\New\\rated.flac");
    EXPECT_EQ(std::make_tuple(rated.playcount, rated.lastplayed, rated.rating), std::make_tuple(7, 400, 1));
    const PlayRow unrated = Row(library, "E:\\New\\unrated.flac");
    EXPECT_EQ(std::make_tuple(unrated.playcount, unrated.lastplayed, unrated.rating), std::make_tuple(7, 900, 3));
    EXPECT_EQ(library.Text("SELECT file_title FROM list WHERE file_name = 'E:\\New\\rated.flac'"), "new title");
    EXPECT_EQ(library.Count(), 2);
}

TEST(Relink, TwoOldRowsThatMeetAtOneNewPathBothMerge) {
    LibraryFile library;
    library.Insert("D:\\Music\\a.flac", {2, 10, 0});
    library.Insert("D:\\MUSIC\\a.flac", {3, 20, 5});
    const RelinkReport report = RelinkNow(library, u"d:\\music", u"E:\\New");
    EXPECT_EQ(report.changes.size(), 2u);
    EXPECT_EQ(report.merged, 1u);
    const PlayRow row = Row(library, "E:\\New\\a.flac");
    EXPECT_EQ(std::make_tuple(row.playcount, row.lastplayed, row.rating), std::make_tuple(5, 20, 5));
    EXPECT_EQ(library.Count(), 1);
}

TEST(Relink, TimesCompareUnsignedAndCountsHoldAtTheLargestRecordValue) {
    LibraryFile library;
    // -2000000000 is a time after 2038, kept in the low 32 bits.
    library.Insert("D:\\Music\\a.flac", {2147483000, -2000000000, 0});
    library.Insert("E:\\New\\a.flac", {1000, 2000000000, 0});
    RelinkNow(library, u"D:\\Music", u"E:\\New");
    const PlayRow row = Row(library, "E:\\New\\a.flac");
    EXPECT_EQ(row.playcount, 2147483647);
    EXPECT_EQ(row.lastplayed, -2000000000);
}

TEST(Relink, ADryRunReportsTheChangesAndWritesNothing) {
    LibraryFile library;
    library.Insert("D:\\Music\\a.flac", {1, 1, 0});
    library.Insert("D:\\Music\\b.flac", {1, 1, 0});
    library.Insert("E:\\New\\b.flac", {1, 1, 0});
    const RelinkReport report = RelinkNow(library, u"D:\\Music", u"E:\\New", false);
    ASSERT_EQ(report.changes.size(), 2u);
    EXPECT_EQ(report.changes[0].from, "D:\\Music\\a.flac");
    EXPECT_EQ(report.changes[0].to, "E:\\New\\a.flac");
    EXPECT_FALSE(report.changes[0].merge);
    EXPECT_TRUE(report.changes[1].merge);
    PlayRow row;
    EXPECT_TRUE(library.Find("D:\\Music\\a.flac", row));
    EXPECT_FALSE(library.Find("E:\\New\\a.flac", row));
}

TEST(Relink, ALibraryHeldByAnotherWriterIsLeftUnchanged) {
    LibraryFile library;
    library.Insert("D:\\Music\\a.flac", {1, 1, 0});
    OwnDatabase other = OpenOwnDatabase(library.Path(), SQLITE_OPEN_READWRITE, 0);
    ASSERT_EQ(ExecOwn(other.get(), "BEGIN IMMEDIATE"), SQLITE_OK);
    sqlite3_busy_timeout(library.Get(), 50);
    EXPECT_EQ(RelinkNow(library, u"D:\\Music", u"E:\\New").outcome, LibraryWork::Busy);
    ExecOwn(other.get(), "COMMIT");
    PlayRow row;
    EXPECT_TRUE(library.Find("D:\\Music\\a.flac", row));
}

// --- 100,000 rows ---------------------------------------------------------------

constexpr int kPlain = 60000, kCueTracks = 2000, kCollisions = 500, kOutside = 37500;

using Snapshot = std::map<std::string, std::tuple<long long, long long, long long>>;

Snapshot Rows(const LibraryFile& library, const char* where) {
    Snapshot rows;
    OwnStatement read = PrepareOwn(library.Get(), (std::string("SELECT file_name, playcount, lastplayed, rating "
                                                               "FROM list WHERE ") +
                                                   where)
                                                      .c_str());
    while (sqlite3_step(read.get()) == SQLITE_ROW)
        rows[reinterpret_cast<const char*>(sqlite3_column_text(read.get(), 0))] =
            std::make_tuple(sqlite3_column_int64(read.get(), 1), sqlite3_column_int64(read.get(), 2),
                            sqlite3_column_int64(read.get(), 3));
    return rows;
}

void FillLargeLibrary(const LibraryFile& library) {
    library.Exec("BEGIN");
    for (int i = 0; i < kPlain; ++i)
        library.Insert("D:\\Music\\Artist" + std::to_string(i % 300) + "\\track" + std::to_string(i) + ".flac",
                       {i % 7, 1000 + i, i % 3});
    for (int i = 0; i < kCueTracks; ++i)
        library.Insert("D:\\music\\Cue" + std::to_string(i / 20) + "\\album.cue/" + std::to_string(i % 20 + 1),
                       {i % 5, 5000 + i, 0});
    // Rows already at the new place for the first kCollisions plain tracks.
    for (int i = 0; i < kCollisions; ++i)
        library.Insert("E:\\Library\\Artist" + std::to_string(i % 300) + "\\track" + std::to_string(i) + ".flac",
                       {10, i % 2 == 0 ? 1 : 900000, i % 4 == 0 ? 0 : 5});
    for (int i = 0; i < kOutside; ++i) {
        const char* place = i % 3 == 0 ? "D:\\Music2\\x" : i % 3 == 1 ? "C:\\Other\\y" : "E:\\Library\\Other\\z";
        library.Insert(place + std::to_string(i) + ".mp3", {i % 11, i, i % 2});
    }
    library.Exec("COMMIT");
}

TEST(Relink, HundredThousandRowsWithCueTracksAndCollisionsAddUpExactly) {
    LibraryFile library;
    FillLargeLibrary(library);
    ASSERT_EQ(library.Count(), 100000);
    const char* outside =
        "file_name NOT LIKE 'D:\\Music\\%' AND file_name NOT LIKE 'E:\\Library\\Artist%' "
        "AND file_name NOT LIKE 'E:\\Library\\Cue%'";
    const Snapshot before = Rows(library, outside);
    const Snapshot targets = Rows(library, "file_name LIKE 'E:\\Library\\Artist%'");
    const std::string countsBefore = library.Text("SELECT sum(playcount) FROM list");

    const RelinkReport report = RelinkNow(library, u"D:\\MUSIC", u"E:\\Library\\");
    ASSERT_EQ(report.outcome, LibraryWork::Done);
    EXPECT_EQ(report.changes.size(), static_cast<std::size_t>(kPlain + kCueTracks));
    EXPECT_EQ(report.merged, static_cast<std::size_t>(kCollisions));

    EXPECT_EQ(library.Text("SELECT sum(playcount) FROM list"), countsBefore);
    EXPECT_EQ(library.Count(), 100000 - kCollisions);
    EXPECT_EQ(library.Text("SELECT count(*) FROM list WHERE file_name LIKE 'D:\\Music\\%'"), "0");
    EXPECT_EQ(library.Text("SELECT count(*) FROM list WHERE file_name LIKE 'E:\\Library\\Cue%.cue/%'"), "2000");
    EXPECT_EQ(Rows(library, outside), before);
    for (int i = 0; i < kCollisions; ++i) {
        const std::string name =
            "E:\\Library\\Artist" + std::to_string(i % 300) + "\\track" + std::to_string(i) + ".flac";
        const auto& [count, time, rating] = targets.at(name);
        const PlayRow merged = Row(library, name);
        ASSERT_EQ(merged.playcount, count + i % 7) << name;
        ASSERT_EQ(merged.lastplayed, std::max<long long>(time, 1000 + i)) << name;
        ASSERT_EQ(merged.rating, rating != 0 ? rating : i % 3) << name;
    }
}

}  // namespace
}  // namespace vellum
