// Faults on the stand-in host, where the Win32 shell matters: a library file
// that is not a database, is damaged, cannot be opened or cannot be written,
// and an installation without the audio library or without its tag reader.
// The player keeps working through a whole session, the plugin shows nothing
// beyond its one message box for a missing tag reader, and a library it cannot
// use keeps every byte.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "host_run.h"

namespace vellum::wine {
namespace {

// Plays a track to its end, then adds, removes and purges the playlist through
// the menu: every path that writes the library.
const char kSession[] =
    "add %DIR%\\tone.wav\nadd %DIR%\\other.wav\nplay 0\nplay-end\nwait-syncs\n"
    "select all\ncommand 61600\ncommand 61601\ncommand 61602\nevent 7\n";
const char kSessionWithoutPlayback[] =
    "add %DIR%\\tone.wav\nadd %DIR%\\other.wav\nselect all\ncommand 61600\nevent 2\nevent 7\n";

// Inserts 300 rows into the library at `path`, made by the plugin on a first
// run, and returns its bytes.
std::string FillLibrary(const std::wstring& path) {
    {
        const SqliteConnection database = OpenSqlite(WideToUtf8(path));
        if (!database) throw std::runtime_error("cannot open " + WideToUtf8(path));
        sqlite3_exec(database.get(), "BEGIN", nullptr, nullptr, nullptr);
        for (int i = 0; i < 300; ++i) {
            const std::string name = "C:\\gone\\" + std::string(60, 'x') + std::to_string(i);
            sqlite3_exec(database.get(), ("INSERT INTO list(file_name, playcount) VALUES('" + name + "', 3)").c_str(),
                         nullptr, nullptr, nullptr);
        }
        sqlite3_exec(database.get(), "COMMIT", nullptr, nullptr, nullptr);
    }
    return ReadBytes(path);
}

class Faults : public ::testing::Test {
protected:
    void Install(bool withBass = true, bool withTags = true) {
        InstallOptions options;
        options.withBass = withBass;
        options.withTags = withTags;
        folder_.Install(options);
        WriteWav(folder_.Path() + L"\\tone.wav", 2);
        WriteWav(folder_.Path() + L"\\other.wav", 1);
    }
    // Runs the script and expects a whole, quiet session.
    HostLog Session(const std::string& script, std::size_t messageBoxes = 0) {
        HostLog log = folder_.Run(script);
        EXPECT_EQ(log.exitCode, 0) << log.Text();
        EXPECT_TRUE(log.Starting("error").empty()) << log.Text();
        EXPECT_EQ(log.Starting("messagebox").size(), messageBoxes) << log.Text();
        for (const char* line : {"event 6 = 1", "event 7 = 1", "event 1 = 1", "exit"})
            EXPECT_TRUE(log.Has(line)) << line << "\n" << log.Text();
        return log;
    }

    HostFolder folder_;
};

TEST_F(Faults, ALibraryThatIsNotADatabaseOrIsDamagedKeepsEveryByteAndThePlayerWorks) {
    Install();
    folder_.Run("");
    const std::string healthy = FillLibrary(folder_.Database());
    ASSERT_GT(healthy.size(), 6u * 4096);
    const std::string files[] = {
        "my notes, not a database\r\n" + std::string(5000, 'x'),
        healthy.substr(0, 3 * 4096) + std::string(4096, '\xA5') + healthy.substr(4 * 4096),
        healthy.substr(0, healthy.size() - 5000),
    };
    for (const std::string& file : files) {
        WriteBytes(folder_.Database(), file);
        Session(kSession);
        EXPECT_TRUE(ReadBytes(folder_.Database()) == file);  // no bytes in the message
        EXPECT_FALSE(FileExists(folder_.Database() + L"-journal"));
    }
}

TEST_F(Faults, ALibraryThatCannotBeOpenedOrWrittenLeavesThePlayerWorking) {
    Install();
    ASSERT_TRUE(CreateDirectoryW(folder_.Database().c_str(), nullptr));
    Session(kSession);
    ASSERT_TRUE(RemoveDirectoryW(folder_.Database().c_str()));

    folder_.Run("");
    const std::string stored = FillLibrary(folder_.Database());
    // The rollback journal cannot be created: a folder stands in its place.
    ASSERT_TRUE(CreateDirectoryW((folder_.Database() + L"-journal").c_str(), nullptr));
    Session(kSession);
    EXPECT_TRUE(ReadBytes(folder_.Database()) == stored);
    ASSERT_TRUE(RemoveDirectoryW((folder_.Database() + L"-journal").c_str()));

    // A read-only file, where the attribute holds: Wine run as root ignores it.
    ASSERT_TRUE(SetFileAttributesW(folder_.Database().c_str(), FILE_ATTRIBUTE_READONLY));
    // The probe's handle is closed at once, before the session opens the file.
    const bool writable = static_cast<bool>(win32::UniqueFile(
        CreateFileW(folder_.Database().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)));
    if (!writable) {
        Session(kSession);
        EXPECT_TRUE(ReadBytes(folder_.Database()) == stored);
    }
    SetFileAttributesW(folder_.Database().c_str(), FILE_ATTRIBUTE_NORMAL);

    // Where it can write, the same session does change the library.
    Session(kSession);
    EXPECT_EQ(QueryValue(folder_.Database(), "SELECT count(*) FROM list"), "0");
}

TEST_F(Faults, WithoutTheAudioLibraryNothingIsAddedAndNothingBreaks) {
    Install(false);
    Session(kSessionWithoutPlayback);
    EXPECT_EQ(QueryValue(folder_.Database(), "SELECT count(*) FROM list"), "0");
}

TEST_F(Faults, WithoutTheTagReaderTracksAreStoredAndCountedWithEmptyTags) {
    Install(true, false);
    Session(kSession, 1);
    EXPECT_EQ(QueryValue(folder_.Database(), "SELECT count(*) FROM list WHERE file_name = ''"), "0");
    // The add stored both, the remove took both away; play once more to keep one.
    Session("add %DIR%\\tone.wav\nplay 0\nplay-end\nwait-syncs\nevent 7\n", 1);
    EXPECT_EQ(QueryValue(folder_.Database(),
                         "SELECT playcount || '|' || infoCodec_sub || '|' || tagTitle || '|' || "
                         "statDuration FROM list"),
              "1|wave pcm||2");
}

}  // namespace
}  // namespace vellum::wine
