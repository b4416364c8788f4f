// Track paths that no path buffer holds whole (over 519 UTF-16 units, or with a
// NUL), and UTF-8 that is not well formed: every writer and every remover
// refuses them whole, never cuts them, and the removal by another plugin's text
// matches the stored name byte for byte.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "library/rows.h"
#include "library/track_path.h"
#include "maintenance/pending_work.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "probe_fakes.h"
#include "plugin_library_fixture.h"

namespace vellum {
namespace {

using testing::FakeAudio;
using namespace std::string_literals;

const VellumLibraryInterface& kApi = kLibraryInterface;
const std::string kPair = "\xF0\x9F\x8E\xB5";  // one character, two UTF-16 units

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : bytes) hex += {digits[byte >> 4], digits[byte & 15]};
    return hex;
}

class PathRefusalTest : public PluginLibraryTest {
protected:
    LibraryConnection& connection() { return State().connection; }
    // A row written past the plugin's writers, as another tool could.
    void InsertRaw(const std::string& name) {
        const std::string sql = "INSERT INTO list(file_name, playcount) VALUES(CAST(X'" + Hex(name) + "' AS TEXT), 0)";
        ASSERT_EQ(sqlite3_exec(connection().Handle(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    // The stored names, in hexadecimal, sorted and joined by ",".
    std::string Names() {
        std::string names;
        Statement statement(connection().Handle(), "SELECT hex(file_name) FROM list ORDER BY 1");
        while (sqlite3_step(statement.Get()) == SQLITE_ROW)
            names += (names.empty() ? "" : ",") +
                     std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement.Get(), 0)));
        return names;
    }
    void RegisterUrl(std::u16string_view path, AudioHandle channel = 0) {
        RegisterFile(ProbeContext{State().audio, nullptr}, connection(), channel, path, 0);
    }
};

TEST(TrackPathRule, CountsUtf16UnitsAndRefusesNuls) {
    EXPECT_TRUE(FitsPathBuffer(std::u16string(519, u'x')));
    EXPECT_FALSE(FitsPathBuffer(std::u16string(520, u'x')));
    EXPECT_FALSE(FitsPathBuffer(u"C:\\a.mp3\0.bak"s));
    EXPECT_TRUE(FitsPathBuffer(std::u16string_view()));
    EXPECT_FALSE(IsUsableTrackPath(std::u16string_view()));
    EXPECT_TRUE(IsUsableTrackPath(u"C:\\a.mp3"));

    EXPECT_TRUE(FitsPathBuffer(std::string(517, 'x') + kPair));
    EXPECT_FALSE(FitsPathBuffer(std::string(518, 'x') + kPair));
    EXPECT_TRUE(FitsPathBuffer(std::string(519, 'x')));
    EXPECT_FALSE(FitsPathBuffer(std::string(520, 'x')));
    std::string threeByteUnits;
    for (int i = 0; i < 519; ++i) threeByteUnits += "\xE3\x81\x82";  // 1,557 bytes, 519 units
    EXPECT_TRUE(FitsPathBuffer(threeByteUnits));
    EXPECT_FALSE(FitsPathBuffer(threeByteUnits + "x"));
    EXPECT_FALSE(FitsPathBuffer(std::string(520, '\xFF')));  // each bad byte is one U+FFFD
    EXPECT_FALSE(FitsPathBuffer("C:\\a.mp3\0.bak"s));
}

TEST(TrackPathRule, WellFormedUtf8IsTextThatConvertsBackUnchanged) {
    for (const std::string& good : {""s, "C:\\a.mp3"s, "\xEF\xBF\xBD"s, "\xF4\x8F\xBF\xBF"s, kPair}) {
        EXPECT_TRUE(platform::IsValidUtf8(good)) << good;
        EXPECT_EQ(platform::Utf16ToUtf8(platform::Utf8ToUtf16(good)), good);
    }
    for (const std::string& bad : {"\xFF"s, "\xC3"s, "\xC0\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s, "a\x80"s}) {
        EXPECT_FALSE(platform::IsValidUtf8(bad)) << Hex(bad);
        EXPECT_NE(platform::Utf16ToUtf8(platform::Utf8ToUtf16(bad)), bad);
    }
}

// Rows "C:\<FF>.mp3" and "C:\<U+FFFD>.mp3": each text removes its own row only.
TEST_F(PathRefusalTest, RemoveFileMatchesTheStoredNameByteForByte) {
    const std::string broken = "C:\\\xFF.mp3", replaced = "C:\\\xEF\xBF\xBD.mp3";
    InsertRaw(broken);
    InsertRaw(replaced);
    kApi.RemoveFile(broken.c_str());
    EXPECT_EQ(Names(), Hex(replaced));
    InsertRaw(broken);
    kApi.RemoveFile(replaced.c_str());
    EXPECT_EQ(Names(), Hex(broken));
    kApi.RemoveFile("C:\\\xFE.mp3");
    EXPECT_EQ(Names(), Hex(broken));
}

// "C:\a.mp3", NUL, ".bak" must not remove "C:\a.mp3"; 520 units must not remove
// the row of their first 519.
TEST_F(PathRefusalTest, EveryRemoverRefusesNulsAndPathsOver519Units) {
    const std::string longest = "http://r/" + std::string(510, 'a');
    const std::string over = longest + "b";
    for (const std::string& name : {"C:\\a.mp3"s, longest, over}) InsertRaw(name);
    const std::string all = Names();

    RemoveTrack(connection(), "C:\\a.mp3\0.bak"s);
    RemoveTrack(connection(), over);
    kApi.RemoveFile(over.c_str());
    EXPECT_EQ(Names(), all);

    RemoveTrack(connection(), longest);
    RemoveTrack(connection(), "C:\\a.mp3");
    EXPECT_EQ(Names(), Hex(over));
}

TEST_F(PathRefusalTest, AddFileWithMalformedUtf8WritesNothing) {
    for (const char* bad : {"http://radio/\xFF", "http://radio/\xC3", "http://radio/\xED\xA0\x80",
                            "http://radio/\xC0\xAF", "http://radio/a\x80"}) {
        kApi.AddFile(bad);
        EXPECT_EQ(Names(), "") << Hex(bad);
    }
    // A real U+FFFD is well-formed text and is stored as given.
    kApi.AddFile("http://radio/\xEF\xBF\xBD");
    EXPECT_EQ(Names(), Hex("http://radio/\xEF\xBF\xBD"));
}

// Registering (a play start, an AddFile, a batch item) and the end-of-play update.
TEST_F(PathRefusalTest, EveryWriterRefusesNulsAndPathsOver519Units) {
    const std::u16string withNul = u"http://radio/a\0.bak"s;
    const std::u16string over = platform::Utf8ToUtf16("http://r/" + std::string(509, 'a') + kPair);
    RegisterUrl(u"http://radio/a");
    const std::string before = Names();
    for (const std::u16string& path : {withNul, over}) {
        RegisterUrl(path);
        RegisterUrl(path, FakeAudio::Instance().AddChannel({}));
        EXPECT_EQ(ProbeFreshRecord(ProbeContext{State().audio, nullptr}, 0, path, 0), nullptr);
        EXPECT_FALSE(CreditCompletedPlay(connection(), path, 1700000000));
    }
    EXPECT_EQ(Names(), before);
    RecordOwner record(kApi.GetRecord("http://radio/a"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->playcount, 0);
    EXPECT_EQ(record->lastplayed, 0);
}

}  // namespace
}  // namespace vellum
