// Restoring plays from a backup: the rules for a matched row, unmatched rows
// listed or added, a library replaced by an empty one, a moved folder.
#include <gtest/gtest.h>

#include <tuple>

#include "library_file.h"
#include "maintenance/restore_plays.h"

namespace vellum {
namespace {

RestoreReport Restore(const LibraryFile& library, const LibraryFile& backup, RestoreRequest request) {
    return RestorePlays(library.Get(), backup.Get(), request, nullptr);
}

std::tuple<long long, long long, long long> Fields(const LibraryFile& library, const std::string& name) {
    PlayRow row{-1, -1, -1};
    EXPECT_TRUE(library.Find(name, row)) << name;
    return std::make_tuple(row.playcount, row.lastplayed, row.rating);
}

RestoreRequest Applied(bool addMissing = false) {
    RestoreRequest request;
    request.apply = true;
    request.addMissing = addMissing;
    return request;
}

TEST(RestorePlays, AMatchedRowKeepsTheLargerCountTheLaterTimeAndItsOwnRating) {
    LibraryFile library, backup;
    backup.Insert("D:\\a.flac", {9, 100, 4});
    library.Insert("D:\\a.flac", {2, 500, 0});  // counted again since: time later, no rating
    backup.Insert("D:\\b.flac", {1, 900, 2});
    library.Insert("D:\\b.flac", {5, 300, 3});  // played more since; its rating stays
    backup.Insert("D:\\c.flac", {1, 1, 1});
    library.Insert("D:\\c.flac", {1, 1, 1});  // nothing to do
    const RestoreReport report = Restore(library, backup, Applied());
    EXPECT_EQ(report.updated, 2u);
    EXPECT_EQ(report.unchanged, 1u);
    EXPECT_EQ(Fields(library, "D:\\a.flac"), std::make_tuple(9, 500, 4));
    EXPECT_EQ(Fields(library, "D:\\b.flac"), std::make_tuple(5, 900, 3));
    EXPECT_EQ(Fields(library, "D:\\c.flac"), std::make_tuple(1, 1, 1));
}

TEST(RestorePlays, UnmatchedRowsAreListedAndAddedWholeOnlyWhenAsked) {
    LibraryFile library, backup;
    backup.Insert("D:\\gone.flac", {3, 30, 1}, "kept title");
    backup.Insert("D:\\here.flac", {3, 30, 0});
    library.Insert("D:\\here.flac", {3, 30, 0});
    RestoreReport report = Restore(library, backup, Applied());
    ASSERT_EQ(report.unmatched, std::vector<std::string>{"D:\\gone.flac"});
    EXPECT_FALSE(report.WorkFound());
    EXPECT_EQ(library.Count(), 1);
    report = Restore(library, backup, Applied(true));
    EXPECT_EQ(report.added, 1u);
    EXPECT_EQ(Fields(library, "D:\\gone.flac"), std::make_tuple(3, 30, 1));
    EXPECT_EQ(library.Text("SELECT file_title FROM list WHERE file_name = 'D:\\gone.flac'"), "kept title");
}

TEST(RestorePlays, ADamagedLibraryReplacedByAnEmptyOneGetsEverythingBack) {
    LibraryFile backup, library;
    for (int i = 0; i < 300; ++i) backup.Insert("D:\\m\\" + std::to_string(i) + ".flac", {i, 1000 + i, i % 6});
    // The player has since registered and counted one track again.
    library.Insert("D:\\m\\7.flac", {1, 5000, 0});
    RestoreRequest dryRun;
    dryRun.addMissing = true;
    const RestoreReport preview = Restore(library, backup, dryRun);
    EXPECT_EQ(preview.added, 299u);
    EXPECT_EQ(library.Count(), 1);
    const RestoreReport report = Restore(library, backup, Applied(true));
    EXPECT_EQ(report.added, 299u);
    EXPECT_EQ(report.updated, 1u);
    EXPECT_EQ(library.Count(), 300);
    EXPECT_EQ(Fields(library, "D:\\m\\7.flac"), std::make_tuple(7, 5000, 1));
    EXPECT_EQ(Fields(library, "D:\\m\\123.flac"), std::make_tuple(123, 1123, 3));
    EXPECT_EQ(library.Text("SELECT sum(playcount) FROM list"), "44850");
}

TEST(RestorePlays, AfterAFolderMovedPathsAreMappedFromTheOldFolderToTheNew) {
    LibraryFile library, backup;
    backup.Insert("D:\\Music\\a.flac", {8, 800, 2});
    backup.Insert("D:\\Music\\album.cue/2", {4, 400, 0});
    backup.Insert("D:\\Music2\\b.flac", {6, 600, 0});
    library.Insert("E:\\New\\a.flac", {1, 900, 0});
    library.Insert("E:\\New\\album.cue/2", {0, 0, 0});
    library.Insert("D:\\Music2\\b.flac", {0, 0, 0});
    RestoreRequest request = Applied();
    request.mapping.emplace(FolderPrefix(u"d:\\music\\"), FolderPrefix(u"E:\\New"));
    const RestoreReport report = Restore(library, backup, request);
    EXPECT_EQ(report.updated, 3u);
    EXPECT_TRUE(report.unmatched.empty());
    EXPECT_EQ(Fields(library, "E:\\New\\a.flac"), std::make_tuple(8, 900, 2));
    EXPECT_EQ(Fields(library, "E:\\New\\album.cue/2"), std::make_tuple(4, 400, 0));
    // Outside the old folder a path is looked up as it is.
    EXPECT_EQ(Fields(library, "D:\\Music2\\b.flac"), std::make_tuple(6, 600, 0));
}

TEST(RestorePlays, ADryRunCountsTheWorkAndWritesNothing) {
    LibraryFile library, backup;
    backup.Insert("D:\\a.flac", {9, 100, 4});
    library.Insert("D:\\a.flac", {2, 50, 0});
    const RestoreReport report = Restore(library, backup, RestoreRequest());
    EXPECT_EQ(report.updated, 1u);
    EXPECT_TRUE(report.WorkFound());
    EXPECT_EQ(Fields(library, "D:\\a.flac"), std::make_tuple(2, 50, 0));
}

}  // namespace
}  // namespace vellum
