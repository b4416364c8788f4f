// Bad input from the outside: awkward and broken track paths through every
// entry point that takes one, paths at the length limit, a cue sheet of 100 MB,
// and extreme arguments to the record getters and the listener list.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/rows.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "probe/cue_sheet.h"
#include "probe_fakes.h"
#include "plugin_library_fixture.h"

namespace vellum {
namespace {

namespace fs = std::filesystem;
using testing::FakeAudio;

const VellumLibraryInterface& kApi = kLibraryInterface;

class BadInputTest : public PluginLibraryTest {
protected:
    // A play start: RegisterFile with the playing channel and the host's length.
    void PlayStart(std::u16string_view path) {
        RegisterFile(ProbeContext{State().audio, nullptr}, State().connection, FakeAudio::Instance().AddChannel({}),
                     path, 42);
    }
    std::string Scalar(const std::string& sql) {
        Statement statement(State().connection.Handle(), sql.c_str());
        if (statement.Get() == nullptr || sqlite3_step(statement.Get()) != SQLITE_ROW) return "";
        const unsigned char* text = sqlite3_column_text(statement.Get(), 0);
        return text != nullptr ? reinterpret_cast<const char*>(text) : "";
    }
    int Rows() { return std::stoi(Scalar("SELECT count(*) FROM list")); }
    // The stored name of the only row, or "" unless there is exactly one.
    std::string OnlyName() { return Rows() == 1 ? Scalar("SELECT file_name FROM list") : ""; }
};

TEST_F(BadInputTest, AwkwardPathsRoundTripThroughEveryEntryPoint) {
    const std::string names[] = {
        "http://radio/it's ''quoted'' 100% \\\\share\\x;--",
        "C:\\Music\\Don't\\100% \"live\"\\a'b%s%n.flac",
        "http://radio/\xF0\x9F\x8E\xB5 outside the BMP \xF0\xA0\x80\x8B",
    };
    FakeAudio::Instance().AddFile(platform::Utf8ToUtf16(names[1]), {});
    for (const std::string& name : names) {
        const std::u16string wide = platform::Utf8ToUtf16(name);
        kApi.AddFile(name.c_str());
        kApi.AddFile(name.c_str());
        PlayStart(wide);
        EXPECT_EQ(OnlyName(), name);
        RecordOwner record(kApi.GetRecord(name.c_str()));
        ASSERT_TRUE(record) << name;
        EXPECT_EQ(kApi.GetStringField(record.get(), VELLUMDB_STRING_FILE_NAME), name);
        kApi.RemoveFile(name.c_str());
        EXPECT_EQ(Rows(), 0) << name;
    }
}

// 519 units is the longest path; 520 is refused by every writer. A character
// outside the BMP takes two units and counts as two.
TEST_F(BadInputTest, PathsOf519UnitsAreStoredAnd520AreRefusedByEveryWriter) {
    const std::string pair = "\xF0\x9F\x8E\xB5";  // two UTF-16 units
    const std::string longest = "http://r/" + std::string(508, 'a') + pair;
    const std::string over = "http://r/" + std::string(509, 'a') + pair;
    kApi.AddFile(over.c_str());
    PlayStart(platform::Utf8ToUtf16(over));
    RegisterFile(ProbeContext{State().audio, nullptr}, State().connection, 0, platform::Utf8ToUtf16(over), 0);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(kApi.GetRecord(over.c_str()), nullptr);
    EXPECT_NE(kApi.RemoveFile(over.c_str()), 0);
    kApi.AddFile(longest.c_str());
    EXPECT_EQ(OnlyName(), longest);
    kApi.RemoveFile(longest.c_str());
    PlayStart(platform::Utf8ToUtf16(longest));
    EXPECT_EQ(OnlyName(), longest);
}

// Broken UTF-16 (lone surrogates) is stored under one valid name, with U+FFFD
// where the broken units were, never under an empty one; that name removes the
// row again. (Broken UTF-8 is refused: tests/unit/path_refusal_test.cpp.)
TEST_F(BadInputTest, LoneSurrogatesGetOneValidNameAndCanBeRemoved) {
    const std::u16string lone[] = {u"http://radio/\xD800x", u"http://radio/x\xDC00", u"C:\\m\\\xDBFF.flac"};
    for (const std::u16string& path : lone) {
        PlayStart(path);
        const std::string name = OnlyName();
        EXPECT_NE(name.find("\xEF\xBF\xBD"), std::string::npos);
        EXPECT_EQ(name, platform::Utf16ToUtf8(path));
        kApi.RemoveFile(name.c_str());
        EXPECT_EQ(Rows(), 0);
    }
}

TEST_F(BadInputTest, ExtremeIndexesSelectorsAndNullListenersAreRefused) {
    kApi.AddFile("http://radio/x");
    RecordOwner record(kApi.GetRecord("http://radio/x"));
    ASSERT_TRUE(record);
    record->lastplayed = 1700000000;
    VellumSystemTime out{};
    for (std::int32_t index : {INT_MIN, INT_MIN + 1, -2, 12, 13, 0x10000, INT_MAX}) {
        EXPECT_EQ(kApi.GetStringField(record.get(), index), nullptr) << index;
        EXPECT_EQ(kApi.GetTagField(record.get(), index), nullptr) << index;
        EXPECT_EQ(kApi.GetNumberField(record.get(), index), 0) << index;
        EXPECT_EQ(kApi.GetTimeField(record.get(), index, &out), 0) << index;
    }
    EXPECT_EQ(out.wYear, 0);
    EXPECT_EQ(kApi.AddListener(nullptr), 1);
    EXPECT_EQ(kApi.RemoveListener(nullptr), 1);
    EXPECT_TRUE(State().listeners.Snapshot().empty());
    NotifyListeners(nullptr, 1, 2, 3);
}

// The peak resident memory of this process, in KiB, since the last reset.
long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The sanitizers make every byte of a sheet some fifty times slower to read.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSheetMegabytes = 10;
#else
constexpr int kSheetMegabytes = 100;
#endif

// A sheet of 100 MB is read through to its end in blocks: the peak resident
// memory grows by far less than the sheet.
TEST(BadCueSheet, AHundredMegabyteSheetIsReadToItsEndInBoundedMemory) {
    WorkingFolder folder;  // virtual paths end at their first "/"
    ASSERT_FALSE(folder.path().empty());
    const std::string sheet = folder.path() + "/big.cue";
    {
        std::ofstream out(sheet, std::ios::binary);
        out << "TITLE \"Big\"\r\nTRACK 1 AUDIO\r\n  TITLE \"first\"\r\n";
        std::string block;
        while (block.size() < (1u << 20)) block += "    ISRC " + std::string(480, 'x') + "\r\n";
        for (int megabytes = 0; megabytes < kSheetMegabytes; ++megabytes) out << block;
        out << "TRACK 2 AUDIO\r\n  TITLE \"last\"\r\n";
    }
    ASSERT_GE(fs::file_size(sheet), std::uintmax_t{kSheetMegabytes} << 20);
    ResetPeakResident();
    const long before = PeakResidentKiB();
    RecordOwner record(NewTrackRecord());
    FillCueTrackTags(*record, u"big.cue/2");
    const long grown = PeakResidentKiB() - before;
    EXPECT_STREQ(record->tagTitle, "last");
    EXPECT_STREQ(record->tagAlbum, "Big");
    // A reader that held the sheet whole would grow by all of it; one that
    // reads in blocks grows by a few blocks. An eighth tells them apart with
    // room for the allocator's own growth.
    constexpr long kSheetKiB = kSheetMegabytes * 1024L;
    constexpr long kGrowthShare = 8;
    EXPECT_LT(grown, kSheetKiB / kGrowthShare) << "KiB";
}

}  // namespace
}  // namespace vellum
