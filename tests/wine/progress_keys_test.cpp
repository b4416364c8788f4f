// What ends a batch early: Escape and a close request do, Enter and Space never
// (the dialog keeps the focus off its Cancel button).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_run.h"

namespace vellum::wine {
namespace {

std::vector<std::string> Counters(const HostLog& log) {
    std::vector<std::string> counters;
    for (const std::string& line : log.Starting("dialog progress "))
        counters.push_back(line.substr(line.find("counter=") + 8));
    return counters;
}

// Installs the folder with one-second WAVs named a.wav up to `last`.wav; returns
// the script lines that add them to the playlist.
std::string AddWavs(HostFolder& folder, char last) {
    folder.Install();
    std::string script;
    for (char name = 'a'; name <= last; ++name) {
        WriteWav(folder.Path() + L"\\" + static_cast<wchar_t>(name) + L".wav", 1);
        script += std::string("add %DIR%\\") + name + ".wav\n";
    }
    return script;
}

TEST(ProgressKeys, EnterAndSpaceLeaveTheBatchRunningAndEscapeThenCancelsIt) {
    HostFolder folder;
    HostLog log = folder.Run(AddWavs(folder, 'f') +
                             "select all\n"
                             "dialog keys-at 1 enter space\n"
                             "dialog keys-at 2 space enter\n"
                             "dialog keys-at 4 escape\n"
                             "command 61600\n");
    // Each key went to the dialog, none to a focused Cancel button.
    const std::vector<std::string> keys = log.Starting("dialog key ");
    ASSERT_EQ(keys.size(), 5u) << log.Text();
    for (const std::string& key : keys) EXPECT_EQ(key.find("focus=1003"), std::string::npos) << log.Text();
    EXPECT_EQ(Counters(log), (std::vector<std::string>{"0/6", "1/6", "2/6", "3/6", "4/6"})) << log.Text();
    EXPECT_TRUE(log.Has("dialog closed")) << log.Text();
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), "5");
}

TEST(ProgressKeys, ABatchWithEnterAndSpaceAtEveryStepFinishesWhole) {
    HostFolder folder;
    HostLog log = folder.Run(AddWavs(folder, 'c') +
                             "select all\n"
                             "dialog keys-at 0 enter enter\n"
                             "dialog keys-at 1 space space\n"
                             "dialog keys-at 2 enter space\n"
                             "command 61600\n");
    EXPECT_EQ(log.Starting("dialog key ").size(), 6u) << log.Text();
    EXPECT_EQ(Counters(log), (std::vector<std::string>{"0/3", "1/3", "2/3"})) << log.Text();
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), "3");
}

// The dialog manager posts the close request's IDCANCEL, so it is handled
// between later items: the batch stops early, with every item it began stored.
TEST(ProgressKeys, ACloseRequestEndsTheBatchEarlyKeepingWhatItDid) {
    HostFolder folder;
    folder.Install();
    std::string script;
    constexpr int kItems = 40;
    for (int i = 0; i < kItems; ++i) {
        WriteWav(folder.Path() + L"\\t" + std::to_wstring(i) + L".wav", 1, 8000, 1);
        script += "add %DIR%\\t" + std::to_string(i) + ".wav\n";
    }
    HostLog log = folder.Run(script + "select all\ndialog close-at 1\ncommand 61600\n");
    const std::size_t shown = Counters(log).size();
    // The request comes at item 1, so items 0 and 1 have begun before it.
    constexpr std::size_t kBegunBeforeTheRequest = 2;
    EXPECT_GE(shown, kBegunBeforeTheRequest) << log.Text();
    EXPECT_LT(shown, static_cast<std::size_t>(kItems)) << log.Text();
    EXPECT_TRUE(log.Has("dialog closed")) << log.Text();
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), std::to_string(shown));
}

}  // namespace
}  // namespace vellum::wine
