// The broken-link scan: which rows name a file that is gone, judged by the
// file itself, by its cue sheet or by its drive, with fakes for the disk.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "maintenance/purge.h"
#include "platform/text.h"
#include "platform/volume_root.h"
#include "temp_database.h"

namespace vellum {
namespace {

// A disk of named files and a set of volumes that do not answer. Counts questions.
class FakeDisk : public ExistenceTester {
public:
    bool PathExists(std::u16string_view path) override {
        ++asked[std::u16string(path)];
        return files.count(std::u16string(path)) > 0;
    }
    bool VolumeReachable(std::u16string_view root) override {
        ++volumesAsked[std::u16string(root)];
        return offline.count(std::u16string(root)) == 0;
    }
    std::set<std::u16string> files;
    std::set<std::u16string> offline;
    std::map<std::u16string, int> asked;
    std::map<std::u16string, int> volumesAsked;
};

class PurgeScanTest : public TempDatabaseTest {
protected:
    void Insert(const std::string& name) {
        std::string quoted;
        for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        Exec("INSERT INTO list(file_name) VALUES('" + quoted + "')");
    }
    std::vector<std::string> Scan() {
        BatchPathList out;
        const std::size_t count = CollectBrokenLinks(connection(), disk, out);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < out.Size(); ++i) names.push_back(platform::Utf16ToUtf8(out.At(i)));
        EXPECT_EQ(count, names.size());
        return names;
    }
    // The stored names in the order the scan's own query returns them.
    std::vector<std::string> QueryOrder(const std::set<std::string>& only) {
        std::vector<std::string> names;
        Statement statement(connection().Handle(), "SELECT file_name FROM list");
        while (sqlite3_step(statement.Get()) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement.Get(), 0);
            if (text == nullptr) continue;
            std::string name = reinterpret_cast<const char*>(text);
            if (only.count(name)) names.push_back(name);
        }
        return names;
    }
    FakeDisk disk;
};

TEST_F(PurgeScanTest, MissingFilesAreCollectedInQueryOrderAndExistingOnesAndUrlsStay) {
    for (const char* name :
         {"C:\\b\\gone.wav", "C:\\a\\here.wav", "http://radio.example/x.cue/1", "C:\\a\\gone too.mp3", "mms://stream"})
        Insert(name);
    disk.files = {u"C:\\a\\here.wav"};
    EXPECT_EQ(Scan(), QueryOrder({"C:\\b\\gone.wav", "C:\\a\\gone too.mp3"}));
    EXPECT_EQ(disk.asked.count(u"http://radio.example/x.cue"), 0u);
    EXPECT_EQ(disk.asked.count(u"mms://stream"), 0u);
}

TEST_F(PurgeScanTest, CueTracksAreJudgedByTheirSheetWhichIsAskedAboutOnce) {
    for (const char* name : {"D:\\album.cue/1", "D:\\album.cue/2", "D:\\album.cue/99", "D:\\Album.CUE/3",
                             "D:\\lost.cue/1", "D:\\lost.cue/2"})
        Insert(name);
    disk.files = {u"D:\\album.cue", u"D:\\Album.CUE"};
    EXPECT_EQ(Scan(), QueryOrder({"D:\\lost.cue/1", "D:\\lost.cue/2"}));
    EXPECT_EQ(disk.asked[u"D:\\album.cue"] + disk.asked[u"D:\\Album.CUE"], 1);
    EXPECT_EQ(disk.asked[u"D:\\lost.cue"], 1);
}

TEST_F(PurgeScanTest, APathWithForwardSlashesIsJudgedByTheTextBeforeTheFirstOne) {
    Insert("C:/music/gone.wav");
    Insert("E:/music/gone.wav");
    disk.files = {u"C:"};
    EXPECT_EQ(Scan(), std::vector<std::string>{"E:/music/gone.wav"});
    EXPECT_EQ(disk.asked[u"C:"], 1);
    EXPECT_EQ(disk.asked.count(u"C:/music/gone.wav"), 0u);
}

TEST_F(PurgeScanTest, RowsOnAnUnreachableVolumeStayAndTheVolumeIsAskedAboutOnce) {
    for (const char* name : {"Q:\\gone.wav", "q:\\other.wav", "Q:\\set.cue/1", "\\\\nas\\music\\a.wav",
                             "\\\\nas\\music\\b.wav", "\\\\nas\\backup\\c.wav", "R:\\gone.wav"})
        Insert(name);
    disk.offline = {u"Q:", u"\\\\nas\\music"};
    EXPECT_EQ(Scan(), QueryOrder({"\\\\nas\\backup\\c.wav", "R:\\gone.wav"}));
    EXPECT_EQ(disk.volumesAsked[u"Q:"] + disk.volumesAsked[u"q:"], 1);
    EXPECT_EQ(disk.volumesAsked[u"\\\\nas\\music"], 1);
}

TEST_F(PurgeScanTest, AnEmptyNameIsCollectedButNamesThatCannotBeJudgedOrAddressedStay) {
    Insert("");
    Insert("/host/track/1");
    Insert("//server/share/x.wav");
    Insert("C:\\" + std::string(600, 'x'));
    Exec("INSERT INTO list(file_name) VALUES(NULL)");
    Exec("INSERT INTO list(file_name) VALUES(CAST(X'433A5C610062' AS TEXT))");  // "C:\a", NUL, "b"
    // Malformed UTF-8 would come back from UTF-16 as the name of the row below.
    Insert("C:\\\xFF.wav");
    Insert("C:\\\xEF\xBF\xBD.wav");
    EXPECT_EQ(Scan(), QueryOrder({"", "C:\\\xEF\xBF\xBD.wav"}));
}

TEST(VolumeRoot, DriveLettersAndSharesAreRootsAndOtherPathsHaveNone) {
    using platform::VolumeRoot;
    EXPECT_EQ(VolumeRoot(u"C:\\music\\a.wav"), u"C:");
    EXPECT_EQ(VolumeRoot(u"c:"), u"c:");
    EXPECT_EQ(VolumeRoot(u"\\\\nas\\music\\a.wav"), u"\\\\nas\\music");
    EXPECT_EQ(VolumeRoot(u"\\\\nas\\music"), u"\\\\nas\\music");
    EXPECT_EQ(VolumeRoot(u"\\\\nas"), u"\\\\nas");
    EXPECT_EQ(VolumeRoot(u"relative\\a.wav"), u"");
    EXPECT_EQ(VolumeRoot(u"1:\\a.wav"), u"");
    EXPECT_EQ(VolumeRoot(u""), u"");
}

}  // namespace
}  // namespace vellum
