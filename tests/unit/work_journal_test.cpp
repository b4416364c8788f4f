// The journal of waiting work on its own: merging per path keeps long waits
// bounded without changing what lands, and the applied entries kept for a
// foreign ROLLBACK are bounded too.
#include <gtest/gtest.h>

#include <string>

#include "library/work_journal.h"
#include "maintenance/pending_work.h"

namespace vellum {
namespace {

RecordOwner Fresh(const std::string& name, const char* title) {
    RecordOwner record(NewTrackRecord());
    record->file_name = CopyText(name.c_str(), name.size());
    record->file_title = CopyText(title, std::char_traits<char>::length(title));
    return record;
}

// What a reader is shown for `key` on top of a stored row with `plays`.
std::string Shown(const WorkJournal& journal, const std::string& key, int plays) {
    RecordOwner row(Fresh(key, "stored"));
    row->playcount = plays;
    journal.Overlay(key, row);
    if (!row) return "none";
    return std::string(row->file_title) + "=" + std::to_string(row->playcount) + "@" + std::to_string(row->lastplayed);
}

TEST(WorkJournalTest, RepeatedPlaysOfATrackMergeIntoOneRegistrationAndOneCreditButNeverAcrossARemoval) {
    WorkJournal journal;
    for (int play = 1; play <= 50; ++play) {
        journal.Add(MakeRegistration(Fresh("a", ("probe" + std::to_string(play)).c_str())));
        journal.Add(MakePlayCredit("a", 1700000000 + play));
    }
    EXPECT_EQ(journal.PendingCount(), 2u);
    EXPECT_EQ(Shown(journal, "a", 3), "probe50=53@1700000050");

    journal.Add(MakeRemoval("a"));
    journal.Add(MakeRemoval("a"));
    EXPECT_EQ(Shown(journal, "a", 3), "none");
    journal.Add(MakePlayCredit("a", 1700000099));  // no row left to count
    journal.Add(MakeRegistration(Fresh("a", "again")));
    journal.Add(MakePlayCredit("a", 1700000100));
    EXPECT_EQ(journal.PendingCount(), 6u);
    EXPECT_EQ(Shown(journal, "a", 3), "again=1@1700000100");
    EXPECT_EQ(Shown(journal, "b", 3), "stored=3@0");
}

TEST(WorkJournalTest, OnlyTheMostRecentAppliedEntriesAreKeptForARollback) {
    WorkJournal journal;
    const std::int64_t total = WorkJournal::kAppliedLimit + 10;
    for (std::int64_t i = 1; i <= total; ++i) {
        journal.Add(MakeRemoval("k" + std::to_string(i)));
        journal.FrontApplied(i);
    }
    EXPECT_EQ(journal.LastApplied(), total);
    journal.Requeue(total - 3);  // a rollback to just before the last three
    EXPECT_EQ(journal.PendingCount(), 3u);
    EXPECT_EQ(journal.Front().Key(), "k" + std::to_string(total - 2));
    journal.Requeue(0);  // everything: only what was kept comes back
    EXPECT_EQ(journal.PendingCount(), WorkJournal::kAppliedLimit);
    EXPECT_EQ(journal.Front().Key(), "k11");
    EXPECT_TRUE(journal.AppliedEmpty());
}

}  // namespace
}  // namespace vellum
