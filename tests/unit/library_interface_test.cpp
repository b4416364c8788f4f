// The function table for other plugins, working on the process-wide State().
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/connection.h"
#include "library/track_record.h"
#include "temp_folder.h"
#include "probe_fakes.h"

namespace vellum {
namespace {

const VellumLibraryInterface& kTable = kLibraryInterface;

int g_heard = 0;
intptr_t __stdcall CountsMessages(void*, std::uint32_t, std::uintptr_t, std::intptr_t) {
    ++g_heard;
    return 0;
}

class LibraryInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        std::snprintf(State().databasePath, sizeof State().databasePath, "%s/vellumdb.db", folder_.path().c_str());
        ASSERT_TRUE(State().connection.Open(State().databasePath));
        testing::FakeAudio::Instance().Reset();
        State().audio = testing::FakeAudio::Instance().Bound();
        State().lastChangeTick = 4242;
        g_heard = 0;
    }
    void TearDown() override {
        State().listeners.Remove(CountsMessages);
        State().connection.Close();
        State().audio = AudioLibrary{};
    }
    int Rows() {
        Statement count(State().connection.Handle(), "SELECT COUNT(*) FROM list");
        return count.Get() != nullptr && sqlite3_step(count.Get()) == SQLITE_ROW ? sqlite3_column_int(count.Get(), 0)
                                                                                 : -1;
    }
    TempFolder folder_;
};

// Runs with the local zone nine hours east of UTC, without daylight saving.
class JapanTime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        saved_ = zone != nullptr ? zone : "";
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    void TearDown() override {
        saved_.empty() ? unsetenv("TZ") : setenv("TZ", saved_.c_str(), 1);
        tzset();
    }
    VellumSystemTime Read(std::int32_t lastplayed, std::int32_t modify, std::int32_t selector) {
        RecordOwner record(NewTrackRecord());
        record->lastplayed = lastplayed;
        record->modify = modify;
        VellumSystemTime out;
        std::memset(&out, 0xAB, sizeof out);
        result_ = kTable.GetTimeField(record.get(), selector, &out);
        return out;
    }
    std::string saved_;
    std::int32_t result_ = -1;
};

TEST(LibraryInterfaceLayout, IsThirteenPointerSlotsInTheirOrder) {
    static_assert(sizeof(VellumLibraryInterface) == 13 * sizeof(void*), "thirteen slots");
    const std::size_t offsets[] = {
        offsetof(VellumLibraryInterface, GetDatabaseHandle), offsetof(VellumLibraryInterface, GetDatabasePath),
        offsetof(VellumLibraryInterface, GetLastChangeTick), offsetof(VellumLibraryInterface, AddListener),
        offsetof(VellumLibraryInterface, RemoveListener),    offsetof(VellumLibraryInterface, AddFile),
        offsetof(VellumLibraryInterface, RemoveFile),        offsetof(VellumLibraryInterface, GetRecord),
        offsetof(VellumLibraryInterface, FreeRecord),        offsetof(VellumLibraryInterface, GetStringField),
        offsetof(VellumLibraryInterface, GetNumberField),    offsetof(VellumLibraryInterface, GetTagField),
        offsetof(VellumLibraryInterface, GetTimeField)};
    for (std::size_t slot = 0; slot < 13; ++slot) EXPECT_EQ(offsets[slot], slot * sizeof(void*)) << slot;
    VellumLibraryInterface filled{};
    FillLibraryInterface(filled);
    EXPECT_EQ(std::memcmp(&filled, &kLibraryInterface, sizeof filled), 0);
    EXPECT_EQ(filled.RemoveListener, &api::RemoveListener);
    EXPECT_EQ(filled.GetTimeField, &api::GetTimeField);
}

TEST_F(LibraryInterfaceTest, ReportsConnectionPathAndTickAndNoConnectionAfterShutDown) {
    EXPECT_NE(kTable.GetDatabaseHandle(), nullptr);
    EXPECT_EQ(kTable.GetDatabasePath(), State().databasePath);
    EXPECT_EQ(kTable.GetLastChangeTick(), 4242u);
    State().connection.Close();
    EXPECT_EQ(kTable.GetDatabaseHandle(), nullptr);
    EXPECT_NE(kTable.AddFile("http://late/add"), 0);  // skipped, no crash
}

TEST_F(LibraryInterfaceTest, ListenersAreHeldOnceAndHearTheFanOut) {
    EXPECT_EQ(kTable.AddListener(CountsMessages), 1);
    EXPECT_EQ(kTable.AddListener(CountsMessages), 1);
    NotifyListeners(nullptr, 1, 2, 3);
    EXPECT_EQ(kTable.RemoveListener(CountsMessages), 1);
    EXPECT_EQ(kTable.RemoveListener(CountsMessages), 1);
    NotifyListeners(nullptr, 1, 2, 3);
    EXPECT_EQ(g_heard, 1);
}

TEST_F(LibraryInterfaceTest, AddFileAndRemoveFileChangeRowsWithoutAnnouncing) {
    testing::FakeFile file;
    file.channel.tags["%IFV2(%TITL,%UTF8(%TITL),)"] = "Titel";
    testing::FakeAudio::Instance().AddFile(u"C:\\Musik\\Lied \u00fc.flac", file);
    kTable.AddListener(CountsMessages);
    EXPECT_NE(kTable.AddFile("C:\\Musik\\Lied \xC3\xBC.flac"), 0);
    EXPECT_NE(kTable.AddFile("http://radio/x"), 0);
    VellumTrackRecord* record = kTable.GetRecord("C:\\Musik\\Lied \xC3\xBC.flac");
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(kTable.GetTagField(record, VELLUMDB_TAG_TITLE), "Titel");
    EXPECT_EQ(kTable.GetNumberField(record, VELLUMDB_NUMBER_DURATION), 200);
    EXPECT_STREQ(kTable.GetStringField(record, VELLUMDB_STRING_CODEC), "flac");
    kTable.FreeRecord(record);
    kTable.FreeRecord(nullptr);
    EXPECT_EQ(kTable.GetRecord("c:\\musik\\lied \xC3\xBC.flac"), nullptr);  // letter case counts

    EXPECT_NE(kTable.RemoveFile("C:\\Musik\\Lied \xC3\xBC.flac"), 0);
    EXPECT_NE(kTable.RemoveFile("C:\\never\\there.mp3"), 0);
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(kTable.GetLastChangeTick(), 4242u);
    EXPECT_EQ(g_heard, 0);
}

TEST_F(LibraryInterfaceTest, NullAndOverlongPathsAreRefusedHarmlessly) {
    EXPECT_NE(kTable.AddFile(nullptr), 0);
    EXPECT_NE(kTable.RemoveFile(nullptr), 0);
    const std::string longest = "http://radio/" + std::string(506, 'x');  // 519 units
    EXPECT_NE(kTable.AddFile((longest + "y").c_str()), 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_NE(kTable.AddFile(longest.c_str()), 0);
    std::string kana = "http://";  // 900 bytes of UTF-8, but 307 units: it fits
    for (int i = 0; i < 300; ++i) kana += "\xE3\x81\x82";
    EXPECT_NE(kTable.AddFile(kana.c_str()), 0);
    EXPECT_EQ(Rows(), 2);
}

TEST_F(LibraryInterfaceTest, FieldGettersRefuseNullRecordsAndIndexesOutOfRange) {
    kTable.AddFile("http://radio/x");
    RecordOwner record(kTable.GetRecord("http://radio/x"));
    ASSERT_TRUE(record);
    EXPECT_STREQ(kTable.GetStringField(record.get(), VELLUMDB_STRING_FILE_TITLE), "http://radio/x");
    EXPECT_STREQ(kTable.GetTagField(record.get(), VELLUMDB_TAG_DISCNUMBER), "");
    record->modify = 77;
    EXPECT_EQ(kTable.GetNumberField(record.get(), VELLUMDB_NUMBER_MODIFY), 77);
    for (std::int32_t index : {4, -1}) EXPECT_EQ(kTable.GetStringField(record.get(), index), nullptr);
    for (std::int32_t index : {12, -1}) EXPECT_EQ(kTable.GetTagField(record.get(), index), nullptr);
    for (std::int32_t index : {9, -1}) EXPECT_EQ(kTable.GetNumberField(record.get(), index), 0);
    EXPECT_EQ(kTable.GetStringField(nullptr, 0), nullptr);
    EXPECT_EQ(kTable.GetNumberField(nullptr, 0), 0);
    EXPECT_EQ(kTable.GetTagField(nullptr, 0), nullptr);
}

TEST_F(JapanTime, UnknownSelectorsUnsetTimesAndNullArgumentsGiveZeroAndWriteNothing) {
    for (std::int32_t selector : {2, -1, 0}) {  // lastplayed (0) is unset here
        VellumSystemTime out = Read(0, 1700000000, selector);
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(out.wYear, 0xABAB);
        EXPECT_EQ(out.wMilliseconds, 0xABAB);
    }
    EXPECT_EQ(kTable.GetTimeField(nullptr, 0, nullptr), 0);
    RecordOwner record(NewTrackRecord());
    record->modify = 5;
    EXPECT_EQ(kTable.GetTimeField(record.get(), VELLUMDB_TIME_MODIFY, nullptr), 0);
}

TEST_F(JapanTime, StoredSecondsReadAsLocalWallClockTime) {
    VellumSystemTime out = Read(1700000000, 0, VELLUMDB_TIME_LASTPLAYED);  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(std::vector<int>({out.wYear, out.wMonth, out.wDayOfWeek, out.wDay, out.wHour, out.wMinute, out.wSecond,
                                out.wMilliseconds}),
              std::vector<int>({2023, 11, 3, 15, 7, 13, 20, 0}));
}

TEST_F(JapanTime, NegativeStoredValueIsReadAsUnsigned) {
    // -1,000,000,000 stands for 3,294,967,296 s: 2074-05-31 04:41:36 UTC, a Thursday.
    VellumSystemTime out = Read(0, -1000000000, VELLUMDB_TIME_MODIFY);
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(std::vector<int>({out.wYear, out.wMonth, out.wDayOfWeek, out.wDay, out.wHour, out.wMinute, out.wSecond,
                                out.wMilliseconds}),
              std::vector<int>({2074, 5, 4, 31, 13, 41, 36, 0}));
    out = Read(-1, 0, VELLUMDB_TIME_LASTPLAYED);  // 2106-02-07 06:28:15 UTC, a Sunday
    EXPECT_EQ(std::vector<int>({out.wYear, out.wDayOfWeek, out.wHour}), std::vector<int>({2106, 0, 15}));
}

}  // namespace
}  // namespace vellum
