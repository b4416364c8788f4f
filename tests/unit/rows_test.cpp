// Row writing, reading and removal on a real SQLite file, through the
// entries the plugin's work is made of and the connection's read.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <new>
#include <string>
#include <vector>

#include "library/rows.h"
#include "library/schema.h"
#include "library/work_entry.h"
#include "maintenance/pending_work.h"
#include "fault_loop.h"
#include "temp_database.h"

namespace vellum {
namespace {

class RowsTest : public TempDatabaseTest {
protected:
    LibraryConnection::Outcome Register(RecordOwner record) {
        return connection().Submit(MakeRegistration(std::move(record)));
    }
    RecordOwner Find(const char* key) { return RecordOwner(ReadTrackRow(connection(), key)); }
};

// Fills a probed-style record: every text field null except those given.
RecordOwner MakeRecord(const char* name, const char* title = nullptr) {
    RecordOwner record(NewTrackRecord());
    if (name != nullptr) record->file_name = CopyText(name, std::char_traits<char>::length(name));
    if (title != nullptr) record->file_title = CopyText(title, std::char_traits<char>::length(title));
    return record;
}

TEST(QuoteSqlText, DoublesSingleQuotesAndPassesEveryOtherByte) {
    EXPECT_EQ(QuoteSqlText(nullptr), "");
    EXPECT_EQ(QuoteSqlText(""), "");
    EXPECT_EQ(QuoteSqlText("Don't"), "Don''t");
    EXPECT_EQ(QuoteSqlText("''"), "''''");
    EXPECT_EQ(QuoteSqlText("C:\\50% \"x\"\t\xE9\x9F\xB3"), "C:\\50% \"x\"\t\xE9\x9F\xB3");
}

TEST(StatementText, InsertListsTwentyFiveQuotedValuesByPosition) {
    RecordOwner record = MakeRecord("C:\\x.mp3");
    EXPECT_EQ(BuildInsertStatement(*record),
              "INSERT INTO list values('C:\\x.mp3','','','0','0','0','0','0','','0','0','0','0',"
              "'','','','','','','','','','','','')");
}

TEST(StatementText, UpdateRewritesTwentyFourColumnsKeyedByName) {
    RecordOwner record = MakeRecord("C:\\x.mp3", "Don't");
    record->statDuration = 215;
    const std::string sql = BuildUpdateStatement(*record);
    EXPECT_EQ(sql.rfind("UPDATE list SET file_title = 'Don''t', file_ext = '', file_size = '0', "
                        "statDuration = '215', statChannels = '0', ",
                        0),
              0u);
    const std::string tail = "tagAlbumArtist = '', tagDiscNumber = '' WHERE file_name = 'C:\\x.mp3' ";
    ASSERT_GE(sql.size(), tail.size());
    EXPECT_EQ(sql.substr(sql.size() - tail.size()), tail);
}

// The statements the plugin's writer runs on `list`, with the transaction
// around each entry.
TEST_F(RowsTest, ExecutedStatementsAreExactlyTheBuiltTexts) {
    std::vector<std::string> seen;
    connection().ReadWith([&seen](sqlite3* writer) {
        sqlite3_trace_v2(
            writer, SQLITE_TRACE_STMT,
            [](unsigned, void* context, void*, void* text) {
                static_cast<std::vector<std::string>*>(context)->push_back(static_cast<const char*>(text));
                return 0;
            },
            &seen);
        return SQLITE_OK;
    });
    RecordOwner record = MakeRecord("C:\\x.mp3");
    const std::string insert = BuildInsertStatement(*record);
    const std::string update = BuildUpdateStatement(*record);
    Register(std::move(record));
    Register(MakeRecord("C:\\x.mp3"));
    RemoveTrack(connection(), "C:\\x.mp3");
    const std::string select = "SELECT * FROM list WHERE file_name = 'C:\\x.mp3'";
    const std::vector<std::string> expected = {
        "BEGIN IMMEDIATE",
        select,
        insert,
        "PRAGMA user_version = 1",
        "COMMIT",
        "BEGIN IMMEDIATE",
        select,
        update,
        "PRAGMA user_version = 2",
        "COMMIT",
        "BEGIN IMMEDIATE",
        "DELETE FROM list WHERE file_name = 'C:\\x.mp3'",
        "PRAGMA user_version = 3",
        "COMMIT",
    };
    EXPECT_EQ(seen, expected);
    connection().ReadWith([](sqlite3* writer) { return sqlite3_trace_v2(writer, 0, nullptr, nullptr); });
}

TEST_F(RowsTest, InsertFindRoundTripKeepsEveryFieldAndStoresNoNull) {
    RecordOwner record = MakeRecord("C:\\Don't\\音.flac", "Don't");
    record->statDuration = 215;
    record->statBitrate = -7;
    record->tagPerformer = CopyText("composer", 8);
    Register(std::move(record));

    RecordOwner found = Find("C:\\Don't\\音.flac");
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->file_title, "Don't");
    EXPECT_EQ(found->statDuration, 215);
    EXPECT_EQ(found->statBitrate, -7);
    EXPECT_STREQ(found->tagPerformer, "composer");
    for (int column = 0; column < kColumnCount; ++column) {
        if (kColumns[column].kind == FieldKind::Text) {
            EXPECT_NE(TextField(*found, column), nullptr);
        }
    }
    EXPECT_EQ(Scalar("SELECT count(*) FROM list WHERE tagTitle IS NULL OR file_size IS NULL"), "0");
    EXPECT_EQ(Scalar("SELECT typeof(statBitrate) FROM list"), "integer");
}

TEST_F(RowsTest, ARegistrationOfAStoredPathRefreshesItKeepingTheUserColumns) {
    Register(MakeRecord("a.wav", "first"));
    Exec("UPDATE list SET rating = 5, playcount = 4, lastplayed = 7, modify = 9");
    RecordOwner second = MakeRecord("a.wav", "second");
    second->playcount = 100;
    Register(std::move(second));
    EXPECT_EQ(Scalar("SELECT file_title || rating || playcount || lastplayed || modify FROM list"), "second5479");
    EXPECT_EQ(Scalar("SELECT count(*) FROM list"), "1");
}

TEST_F(RowsTest, LookupIsExactBytesAndRemovalTouchesOnlyThatRow) {
    for (const char* name : {"C:\\A.wav", "C:\\a.wav", "C:\\s.cue", "C:\\s.cue/1", "C:\\s.cue/2"}) {
        Register(MakeRecord(name));
    }
    EXPECT_EQ(Find("c:\\A.WAV").get(), nullptr);
    EXPECT_EQ(Find(nullptr).get(), nullptr);
    EXPECT_EQ(RemoveTrack(connection(), "C:\\s.cue"), LibraryConnection::Outcome::Written);
    EXPECT_EQ(RemoveTrack(connection(), "C:\\s.cue/9"), LibraryConnection::Outcome::NoRow);
    EXPECT_EQ(RemoveTrack(connection(), "C:\\A.wav"), LibraryConnection::Outcome::Written);
    EXPECT_EQ(Scalar("SELECT group_concat(file_name, '|') FROM (SELECT file_name FROM list ORDER BY 1)"),
              "C:\\a.wav|C:\\s.cue/1|C:\\s.cue/2");
}

TEST_F(RowsTest, NullColumnsFromAnotherWriterReadAsEmptyTextAndZero) {
    Exec("INSERT INTO list(file_name) VALUES('other')");
    Exec("UPDATE list SET playcount = NULL");
    RecordOwner found = Find("other");
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->tagTitle, "");
    EXPECT_STREQ(found->infoCodec_sub, "");
    EXPECT_EQ(found->playcount, 0);
}

TEST_F(RowsTest, EveryByteValueRoundTripsThroughInsertAndFind) {
    std::string name;
    for (int byte = 1; byte < 256; ++byte) name.push_back(static_cast<char>(byte));
    Register(MakeRecord(name.c_str()));
    RecordOwner found = Find(name.c_str());
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(found->file_name), name);
}

TEST_F(RowsTest, EveryFailedAllocationInALookupYieldsNoRecordOrTheWholeOneAndLeaksNothing) {
    RecordOwner record = MakeRecord("a.wav", "t");
    record->tagAlbum = CopyText("album", 5);
    Register(std::move(record));
    RecordOwner found;
    bool threw = false;
    int refused = 0;
    testing::FaultLoop loop;
    loop.setup = [&] { found.Reset(), threw = false; };
    loop.operation = [&] {
        try {
            found.Reset(ReadTrackRow(connection(), "a.wav"));
        } catch (const std::bad_alloc&) {
            threw = true;  // the caller's boundary (GetRecord) turns this into null
        }
    };
    loop.check = [&](bool faulted) {
        if (found) {
            // A failure SQLite recovered from on its own: the record is whole.
            EXPECT_STREQ(found->file_title, "t");
            EXPECT_STREQ(found->tagAlbum, "album");
            EXPECT_STREQ(found->tagDiscNumber, "");
        } else {
            EXPECT_TRUE(faulted) << "no record without a failed allocation";
            ++refused;
        }
        EXPECT_FALSE(threw && found);
        found.Reset();
        // The library still answers.
        EXPECT_EQ(Scalar("SELECT file_title || tagAlbum FROM list WHERE file_name = 'a.wav'"), "talbum");
    };
    constexpr int kRecordAllocations = 27;  // the record and its 25 texts at least, and the lookup's text
    EXPECT_GE(testing::FailEachAllocationInTurn(loop), kRecordAllocations);
    EXPECT_GT(refused, 0);
}

TEST_F(RowsTest, ATableWithFewerColumnsIsReadAsFarAsItGoes) {
    Reopen("CREATE TABLE list(file_name TEXT, file_title TEXT, file_ext TEXT, file_size INTEGER)");
    Exec("INSERT INTO list VALUES('short', 'title', '', 3)");
    RecordOwner found = Find("short");
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->file_title, "title");
    EXPECT_EQ(found->file_size, 3);
    EXPECT_STREQ(found->tagDiscNumber, "");
    // 25 values into 4 columns: SQLite refuses the statement, and the entry is given up.
    EXPECT_EQ(Register(MakeRecord("new")), LibraryConnection::Outcome::Refused);
    EXPECT_EQ(Scalar("SELECT count(*) FROM list"), "1");
}

}  // namespace
}  // namespace vellum
