// The playlist commands: batch add and remove under the progress dialog,
// cancelling it, the broken-link purge, the context submenu and the commands'
// announcements, on the stand-in host; then, with the plugin loaded into this
// process, what the stand-in host cannot show: the hook's own answers, menus
// it never opens, a command arriving during a batch, a dialog destroyed early.
// Last, a picture of the open dialog for the documentation.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "host_run.h"

namespace vellum::wine {
namespace {

const char kAddCaption[] = "vellumdb データベースにアイテムを追加しています";
const char kRemoveCaption[] = "vellumdb データベースのアイテムを削除しています";

// A 1-second 16-bit PCM mono WAV file at 8 kHz, a quiet saw tone.
void WriteWav(const std::wstring& path) {
    const std::uint32_t rate = 8000, bytes = rate * 2;
    std::string data;
    auto put32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) data += static_cast<char>(v >> (8 * i)); };
    auto put16 = [&](std::uint16_t v) { data += static_cast<char>(v & 0xFF); data += static_cast<char>(v >> 8); };
    data += "RIFF";
    put32(36 + bytes);
    data += "WAVEfmt ";
    put32(16);
    put16(1);         // PCM
    put16(1);         // mono
    put32(rate);
    put32(rate * 2);  // bytes per second
    put16(2);         // block align
    put16(16);        // bits per sample
    data += "data";
    put32(bytes);
    for (std::uint32_t i = 0; i < rate; ++i) put16(static_cast<std::uint16_t>((i % 100) * 40));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << WideToUtf8(path);
    DWORD written = 0;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
}

void Exec(const std::wstring& database, const std::string& sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(WideToUtf8(database).c_str(), &connection), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(connection);
    ASSERT_EQ(rc, SQLITE_OK) << sql << ": " << message;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> Column(const std::wstring& database, const std::string& sql) {
    std::vector<std::string> values;
    for (const auto& row : Query(database, sql)) values.push_back(row.at(0));
    return values;
}

// One "dialog progress" line taken apart.
struct Progress {
    long index = -1;
    long position = -1;
    std::string path;
    std::string counter;
};

std::vector<Progress> ProgressLines(const HostLog& log) {
    std::vector<Progress> steps;
    for (const std::string& line : log.Starting("dialog progress ")) {
        Progress step;
        std::sscanf(line.c_str(), "dialog progress i=%ld pos=%ld", &step.index, &step.position);
        const std::size_t path = line.find(" path=");
        const std::size_t counter = line.rfind(" counter=");
        if (path != std::string::npos && counter != std::string::npos && counter >= path) {
            step.path = line.substr(path + 6, counter - path - 6);
            step.counter = line.substr(counter + 9);
        }
        steps.push_back(step);
    }
    return steps;
}

std::vector<std::string> Counters(const HostLog& log) {
    std::vector<std::string> counters;
    for (const Progress& step : ProgressLines(log)) counters.push_back(step.counter);
    return counters;
}

// Where `line` first appears in the log, or -1.
long IndexOf(const HostLog& log, const std::string& line) {
    auto found = std::find(log.lines.begin(), log.lines.end(), line);
    return found == log.lines.end() ? -1 : static_cast<long>(found - log.lines.begin());
}

// The lines each script command produced, command by command, for `name`.
std::vector<std::vector<std::string>> OutputOf(const HostLog& log, const std::string& name) {
    std::vector<std::vector<std::string>> blocks;
    bool inside = false;
    for (const std::string& line : log.lines) {
        if (line.rfind("> ", 0) == 0) {
            inside = line == "> " + name;
            if (inside) blocks.emplace_back();
        } else if (inside) {
            blocks.back().push_back(line);
        }
    }
    return blocks;
}

// Where the host logged the end of the command `id`, or -1. The line shows the
// window's result, which the hook leaves to the host; its own answer is tested
// in this process below.
long Answered(const HostLog& log, int id) {
    const std::string prefix = "command " + std::to_string(id) + " = ";
    for (std::size_t i = 0; i < log.lines.size(); ++i)
        if (log.lines[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
    return -1;
}

std::string Folder(const HostFolder& folder) { return WideToUtf8(folder.Path()); }

unsigned long LastChange(const std::string& line) {
    unsigned long tick = 0;
    std::sscanf(line.c_str(), "lastchange %lu", &tick);
    return tick;
}

const std::string kNotified = "received vellumdb_notify wParam=1 lParam=0";

TEST(PlaylistBatch, AddingThreeSelectedRowsShowsEachItemAndClosesByItself) {
    HostFolder folder;
    folder.Install();
    for (const wchar_t* name : {L"a.wav", L"b.wav", L"c.wav", L"d.wav"}) WriteWav(folder.Path() + L"\\" + name);
    folder.Run("");
    const std::string dir = Folder(folder);
    // A stored row is refreshed with its user columns kept.
    Exec(folder.Database(), "INSERT INTO list(file_name, statDuration, rating, playcount, lastplayed) VALUES(" +
                                Quoted(dir + "\\c.wav") + ", 99, 4, 7, 1700000000)");
    HostLog log = folder.Run(
        "add %DIR%\\a.wav\nadd %DIR%\\b.wav\nadd %DIR%\\c.wav\nadd %DIR%\\d.wav\nselect 0 2 3\n"
        "watch-registered vellumdb_notify\ndialog record\ncommand 61600\n");
    const long open = IndexOf(log, std::string("dialog open caption=") + kAddCaption + " range=0-3");
    ASSERT_GE(open, 0) << log.Text();
    std::vector<Progress> steps = ProgressLines(log);
    ASSERT_EQ(steps.size(), 3u) << log.Text();
    const char* names[] = {"a.wav", "c.wav", "d.wav"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(steps[i].index, i);
        EXPECT_EQ(steps[i].position, i);
        EXPECT_EQ(steps[i].path, dir + "\\" + names[i]);
        EXPECT_EQ(steps[i].counter, std::to_string(i) + "/3");
    }
    const long closed = IndexOf(log, "dialog closed"), notified = IndexOf(log, kNotified);
    const long answered = Answered(log, 61600);
    EXPECT_TRUE(open < closed && closed < notified && notified < answered) << log.Text();
    EXPECT_EQ(Column(folder.Database(), "SELECT file_name || ' ' || statDuration FROM list WHERE playcount = 0 "
                                        "ORDER BY rowid"),
              (std::vector<std::string>{dir + "\\a.wav 1", dir + "\\d.wav 1"}));
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT statDuration || ' ' || rating || ' ' || playcount || ' ' || "
                                            "lastplayed FROM list WHERE file_name = " + Quoted(dir + "\\c.wav")),
              "1 4 7 1700000000");
    EXPECT_EQ(log.exitCode, 0) << log.Text();
}

TEST(PlaylistBatch, CancelDuringItemKCommitsItemsUpToKAndClosesTheDialog) {
    HostFolder folder;
    folder.Install();
    std::string script;
    for (char name = 'a'; name <= 'e'; ++name) {
        WriteWav(folder.Path() + L"\\" + static_cast<wchar_t>(name) + L".wav");
        script += std::string("add %DIR%\\") + name + ".wav\n";
    }
    HostLog log = folder.Run(script + "select all\ndialog cancel-at 1\ncommand 61600\n");
    EXPECT_EQ(Counters(log), (std::vector<std::string>{"0/5", "1/5"})) << log.Text();
    EXPECT_TRUE(log.Has("dialog closed")) << log.Text();
    EXPECT_GE(Answered(log, 61600), 0) << log.Text();
    const std::string dir = Folder(folder);
    EXPECT_EQ(Column(folder.Database(), "SELECT file_name FROM list ORDER BY rowid"),
              (std::vector<std::string>{dir + "\\a.wav", dir + "\\b.wav"}));
}

TEST(PlaylistBatch, EscapeActsLikeCancelWhenRemoving) {
    HostFolder folder;
    folder.Install();
    folder.Run("");
    const std::string dir = Folder(folder);
    std::string script, values;
    for (const std::string name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}) {
        script += "add %DIR%\\" + name + "\n";
        values += (values.empty() ? "(" : ", (") + Quoted(dir + "\\" + name) + ")";
    }
    Exec(folder.Database(), "INSERT INTO list(file_name) VALUES " + values);
    HostLog log = folder.Run(script + "select all\ndialog escape-at 3\ncommand 61601\n");
    ASSERT_TRUE(log.Has(std::string("dialog open caption=") + kRemoveCaption + " range=0-5")) << log.Text();
    EXPECT_EQ(Counters(log), (std::vector<std::string>{"0/5", "1/5", "2/5", "3/5"})) << log.Text();
    EXPECT_TRUE(log.Has("dialog closed")) << log.Text();
    EXPECT_EQ(Column(folder.Database(), "SELECT file_name FROM list"), std::vector<std::string>{dir + "\\e.wav"});
}

TEST(PlaylistBatch, ANonZeroHighWordStillRunsTheCommand) {
    HostFolder folder;
    folder.Install();
    folder.Run("");
    Exec(folder.Database(), "INSERT INTO list(file_name) VALUES(" + Quoted(Folder(folder) + "\\a.wav") + ")");
    HostLog log = folder.Run("add %DIR%\\a.wav\nselect 0\ncommand 61601 7\n");
    EXPECT_GE(Answered(log, 61601), 0) << log.Text();
    EXPECT_EQ(QueryValue(folder.Database(), "SELECT count(*) FROM list"), "0");
}

TEST(PlaylistBatch, CommandsWithNothingToDoOpenNoDialogButStillAnnounce) {
    HostFolder folder;
    folder.Install();
    HostLog log = folder.Run(
        "add %DIR%\\a.wav\nwatch-registered vellumdb_notify\ndialog record\nlastchange\nsleep 100\n"
        "command 61600\nlastchange\ncommand 61601\ncommand 61602\n");
    EXPECT_TRUE(log.Starting("dialog open").empty()) << log.Text();
    for (int id : {61600, 61601, 61602}) EXPECT_GE(Answered(log, id), 0) << id << "\n" << log.Text();
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), kNotified), 3) << log.Text();
    auto ticks = log.Starting("lastchange ");
    ASSERT_EQ(ticks.size(), 2u) << log.Text();
    EXPECT_GE(LastChange(ticks[1]), LastChange(ticks[0]) + 50) << log.Text();
}

TEST(PlaylistBatch, SeventyThousandRowsGetTheFullRangeAndAreCollectedQuickly) {
    HostFolder folder;
    folder.Install();
    // A purge with nothing to do stamps the tick just before the batch starts,
    // so the tick after it measures collecting the rows and opening the dialog.
    HostLog log = folder.Run(
        "add-many 70000 %DIR%\\many\\{i}.wav\nselect all\ncommand 61602\nlastchange\n"
        "dialog cancel-at 0\ncommand 61601\nlastchange\n",
        L"", 170000);
    ASSERT_TRUE(log.Has(std::string("dialog open caption=") + kRemoveCaption + " range=0-70000")) << log.Text();
    std::vector<Progress> steps = ProgressLines(log);
    ASSERT_EQ(steps.size(), 1u) << log.Text();
    EXPECT_EQ(steps[0].counter, "0/70000");
    EXPECT_EQ(steps[0].path, Folder(folder) + "\\many\\0.wav");
    auto ticks = log.Starting("lastchange ");
    ASSERT_EQ(ticks.size(), 2u) << log.Text();
    const unsigned long elapsed = LastChange(ticks[1]) - LastChange(ticks[0]);
    std::printf("collecting 70000 selected rows and running the dialog took %lu ms\n", elapsed);
    RecordProperty("collect_70000_ms", static_cast<int>(elapsed));
    // A few seconds on an idle machine; a walk from the first entry for every
    // row would take minutes. The bound leaves room for a busy one.
    EXPECT_LT(elapsed, 60000u);
}

// --- The broken-link purge -------------------------------------------------------------

// A drive letter that this machine does not have, or 0.
wchar_t AbsentDrive() {
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter)
        if (!(drives & (1u << (letter - L'A')))) return letter;
    return 0;
}

TEST(PlaylistPurge, RemovesRowsWhoseFileOrSheetIsGoneAndKeepsTheRest) {
    HostFolder folder;
    folder.Install();
    folder.Run("");
    const std::string dir = Folder(folder);
    WriteWav(folder.Path() + L"\\here.wav");
    WriteWav(folder.Path() + L"\\album.cue");  // only its existence matters
    const wchar_t absent = AbsentDrive();
    ASSERT_NE(absent, 0);
    const std::string offline = WideToUtf8(std::wstring(1, absent)) + ":\\gone.wav";
    // Paths past MAX_PATH are tested too, whole.
    const std::wstring deep = folder.Path() + L"\\" + std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    CreateDirectoryW((L"\\\\?\\" + folder.Path() + L"\\" + std::wstring(120, L'd')).c_str(), nullptr);
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
    WriteWav(L"\\\\?\\" + deep + L"\\long.wav");
    const std::string longPath = WideToUtf8(deep) + "\\long.wav";
    ASSERT_GT(longPath.size(), 260u);
    const std::vector<std::string> kept = {dir + "\\here.wav",       "http://127.0.0.1:9/none.mp3",
                                           dir + "\\album.cue/1",    dir + "\\album.cue/2",
                                           dir + "\\album.cue/7",    "C:/vellumdb-no-such-folder/gone.wav",
                                           offline,                 longPath};
    const std::set<std::string> gone = {dir + "\\gone.wav", dir + "\\lost.cue/1", dir + "\\lost.cue/2", "",
                                        WideToUtf8(deep) + "\\gone.wav"};
    std::string values;
    for (const auto& names : {kept, std::vector<std::string>(gone.begin(), gone.end())})
        for (const std::string& name : names) values += (values.empty() ? "(" : ", (") + Quoted(name) + ")";
    Exec(folder.Database(), "INSERT INTO list(file_name) VALUES " + values);
    std::vector<std::string> expectedOrder;
    for (const std::string& name : Column(folder.Database(), "SELECT file_name FROM list"))
        if (gone.count(name)) expectedOrder.push_back(name);

    HostLog log = folder.Run("watch-registered vellumdb_notify\ndialog record\ncommand 61602\n");
    ASSERT_TRUE(log.Has(std::string("dialog open caption=") + kRemoveCaption + " range=0-5")) << log.Text();
    std::vector<std::string> removedInOrder;
    for (const Progress& step : ProgressLines(log)) removedInOrder.push_back(step.path);
    EXPECT_EQ(removedInOrder, expectedOrder) << log.Text();
    EXPECT_EQ(Counters(log), (std::vector<std::string>{"0/5", "1/5", "2/5", "3/5", "4/5"})) << log.Text();
    EXPECT_TRUE(log.Has(kNotified)) << log.Text();
    std::vector<std::string> left = Column(folder.Database(), "SELECT file_name FROM list");
    std::sort(left.begin(), left.end());
    std::vector<std::string> expectedLeft = kept;
    std::sort(expectedLeft.begin(), expectedLeft.end());
    EXPECT_EQ(left, expectedLeft);
}

// --- The context submenu ---------------------------------------------------------------

std::vector<std::string> Submenu(const char* position, const char* addState) {
    const std::string at = std::string("menu ") + position;
    return {at + " popup text=vellumdb",
            at + ".0 id=61600 text=データベースに追加 state=" + addState,
            at + ".1 id=61601 text=データベースから削除 state=" + addState,
            at + ".2 separator",
            at + ".3 id=61602 text=リンク切れをデータベースから削除 state=enabled"};
}

// The top-level items of one logged opening: "POS ID" for the host's, "POS vellumdb"
// for the plugin's submenu.
std::vector<std::string> Layout(const std::vector<std::string>& block) {
    std::vector<std::string> items;
    for (const std::string& line : block) {
        if (line.rfind("menu ", 0) != 0) continue;
        const std::string position = line.substr(5, line.find(' ', 5) - 5);
        if (position.find('.') != std::string::npos) continue;
        const std::size_t popup = line.find(" popup text=");
        if (popup != std::string::npos) {
            items.push_back(position + " " + line.substr(popup + 12));
            continue;
        }
        const std::size_t id = line.find(" id=");
        items.push_back(position + " " + line.substr(id + 4, line.find(' ', id + 1) - id - 4));
    }
    return items;
}

// The host's `count` items, ids ending at 40121, with the submenu at `at`.
std::vector<std::string> ExpectedLayout(int count, int at) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(std::to_string(40121 - count + 1 + i));
    names.insert(names.begin() + at, "vellumdb");
    std::vector<std::string> items;
    for (std::size_t i = 0; i < names.size(); ++i) items.push_back(std::to_string(i) + " " + names[i]);
    return items;
}

// The submenu's own line and the lines of its items ("menu P.S ...").
std::vector<std::string> SubmenuLines(const std::vector<std::string>& block) {
    std::vector<std::string> lines;
    for (const std::string& line : block) {
        const bool item = line.substr(0, line.find(' ', 5)).find('.') != std::string::npos;
        if (item || line.find(" popup ") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

TEST(PlaylistMenu, TheSubmenuSitsBeforeTheLastFourItemsOnEveryOpeningWithAddAndRemoveBySelection) {
    HostFolder folder;
    folder.Install();
    HostLog log = folder.Run("add %DIR%\\a.wav\nmenu\nmenu\nselect 0\nmenu\nmenu-items 3\nmenu\nmenu-items 4\nmenu\n");
    auto blocks = OutputOf(log, "menu");
    ASSERT_EQ(blocks.size(), 5u) << log.Text();
    EXPECT_EQ(Layout(blocks[0]), ExpectedLayout(10, 6)) << log.Text();
    EXPECT_EQ(SubmenuLines(blocks[0]), Submenu("6", "grayed")) << log.Text();
    // Shown again: the submenu is there once more, and only once.
    EXPECT_EQ(blocks[1], blocks[0]) << log.Text();
    EXPECT_EQ(Layout(blocks[2]), ExpectedLayout(10, 6)) << log.Text();
    EXPECT_EQ(SubmenuLines(blocks[2]), Submenu("6", "enabled")) << log.Text();
    EXPECT_EQ(Layout(blocks[3]), ExpectedLayout(3, 0)) << log.Text();
    EXPECT_EQ(Layout(blocks[4]), ExpectedLayout(4, 0)) << log.Text();
    EXPECT_EQ(SubmenuLines(blocks[4]), Submenu("0", "enabled")) << log.Text();
}

// --- The hook in this process, for menus the stand-in host does not open -------------

struct HookRecord {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};
typedef void*(__stdcall* GetInfoFn)();
typedef std::int32_t(__stdcall* HookFn)(HookRecord*);
typedef std::int32_t(__stdcall* EventFn)(HWND, std::int32_t);

// This process has no Plugins\bass\tags.dll: the box reporting it is closed at once.
LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The plugin loaded and initialised in this process. The host window is
// `window`, or without one a plain window of ours that has no playlist.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const HostFolder& folder, HWND window = nullptr) : ownWindow_(window == nullptr) {
        const std::wstring module = folder.Path() + L"\\vellumdb.qpl";
        CopyFileW((ArtifactFolder() + L"\\vellumdb.qpl").c_str(), module.c_str(), FALSE);
        module_ = LoadLibraryW(module.c_str());
        if (module_ == nullptr) return;
        auto info = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(module_, "GetGPluginInfo")));
        slots_ = static_cast<const std::uintptr_t*>(info());
        window_ = ownWindow_ ? CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)
                             : window;
        HHOOK boxes = SetWindowsHookExW(WH_CBT, CloseMessageBoxes, nullptr, GetCurrentThreadId());
        Event(6);
        UnhookWindowsHookEx(boxes);
    }
    ~LoadedPlugin() {
        if (module_ == nullptr) return;
        Event(1);
        if (ownWindow_) DestroyWindow(window_);
        FreeLibrary(module_);
    }
    bool Loaded() const { return module_ != nullptr && slots_ != nullptr; }
    // The hook's own answer to a WM_COMMAND; the record's result must stay 0.
    std::int32_t Command(WPARAM wParam) {
        HookRecord record{window_, WM_COMMAND, wParam, 0, 0};
        const std::int32_t answer = reinterpret_cast<HookFn>(slots_[1])(&record);
        return record.result == 0 ? answer : -1;
    }
    std::int32_t OpenMenu(HMENU menu) {
        HookRecord record{window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0, 0};
        return reinterpret_cast<HookFn>(slots_[1])(&record);
    }

private:
    void Event(std::int32_t code) { reinterpret_cast<EventFn>(slots_[2])(window_, code); }
    bool ownWindow_;
    HMODULE module_ = nullptr;
    const std::uintptr_t* slots_ = nullptr;
    HWND window_ = nullptr;
};

HMENU MenuEndingWith(UINT last, int count) {
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < count; ++i)
        AppendMenuW(menu, MF_STRING, last - static_cast<UINT>(count - 1 - i), (L"item " + std::to_wstring(i)).c_str());
    return menu;
}

// Each item as "ID:STATE", a popup as "popup:CAPTION".
std::vector<std::string> Items(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        if (GetSubMenu(menu, i) != nullptr) {
            items.push_back("popup:" + WideToUtf8(text));
            continue;
        }
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            items.push_back("separator");
            continue;
        }
        items.push_back(std::to_string(GetMenuItemID(menu, i)) + ":" + ((state & MF_GRAYED) ? "grayed" : "enabled"));
    }
    return items;
}

TEST(PlaylistMenu, OtherMenusAndThePluginsOwnSubmenuAreLeftAloneAndAnyHostMenuLifetimeWorks) {
    HostFolder folder;
    LoadedPlugin plugin(folder);
    ASSERT_TRUE(plugin.Loaded());
    HMENU other = MenuEndingWith(40120, 6);
    EXPECT_EQ(plugin.OpenMenu(other), 0);
    EXPECT_EQ(GetMenuItemCount(other), 6);
    DestroyMenu(other);

    HMENU playlist = MenuEndingWith(40121, 10);
    EXPECT_EQ(plugin.OpenMenu(playlist), 0);
    ASSERT_EQ(GetMenuItemCount(playlist), 11);
    HMENU submenu = GetSubMenu(playlist, 6);
    const std::vector<std::string> shown = {"61600:grayed", "61601:grayed", "separator", "61602:enabled"};
    ASSERT_EQ(Items(submenu), shown);
    // The submenu itself opening (its last item is 61602) changes nothing.
    EXPECT_EQ(plugin.OpenMenu(submenu), 0);
    EXPECT_EQ(Items(submenu), shown);
    // A host that keeps its menu and shows it again: still one submenu.
    plugin.OpenMenu(playlist);
    const std::vector<std::string> again = Items(playlist);
    ASSERT_EQ(again.size(), 11u);
    EXPECT_EQ(again[6], "popup:vellumdb");
    EXPECT_EQ(std::count(again.begin(), again.end(), "popup:vellumdb"), 1);
    // A host that destroys its menu, submenus included: the next menu gets one too.
    DestroyMenu(playlist);
    HMENU next = MenuEndingWith(40121, 10);
    plugin.OpenMenu(next);
    ASSERT_EQ(GetMenuItemCount(next), 11);
    EXPECT_EQ(Items(GetSubMenu(next, 6)), shown);
    DestroyMenu(next);
}

TEST(PlaylistMenu, TheHookTakesItsThreeCommandsWhateverTheHighWordAndNoOthers) {
    HostFolder folder;
    LoadedPlugin plugin(folder);
    ASSERT_TRUE(plugin.Loaded());
    EXPECT_EQ(plugin.Command(61600), 1);
    EXPECT_EQ(plugin.Command(MAKEWPARAM(61601, 1)), 1);
    EXPECT_EQ(plugin.Command(MAKEWPARAM(61602, 0xFFFF)), 1);
    EXPECT_EQ(plugin.Command(61599), 0);
    EXPECT_EQ(plugin.Command(MAKEWPARAM(40121, 61600)), 0);
}

// --- Batches in this process: re-entry and a dialog that goes early ------------------

// A host window of our own whose playlist the plugin can read: a virtual list
// view with every row selected and one tab whose item data is a playlist record
// laid out as the host's (first entry at 1044; path at 0, next at 1244).
class TestHost {
public:
    explicit TestHost(const std::vector<std::wstring>& paths) {
        LoadLibraryW(L"comctl32.dll");  // registers the list view and tab classes
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VellumTestHost";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, L"VellumTestHost", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_OWNERDATA, 0, 0, 100, 100, window_,
                                nullptr, nullptr, nullptr);
        SendMessageW(list_, LVM_SETITEMCOUNT, paths.size(), 0);
        LVITEMW selected{};
        selected.stateMask = LVIS_SELECTED;
        selected.state = LVIS_SELECTED;
        SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&selected));
        tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD, 0, 0, 100, 100, window_, nullptr, nullptr, nullptr);
        BuildPlaylist(paths);
        TCITEMW tab{};
        tab.mask = TCIF_TEXT | TCIF_PARAM;
        tab.pszText = const_cast<wchar_t*>(L"list");
        tab.lParam = reinterpret_cast<LPARAM>(record_.data());
        SendMessageW(tabs_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
        SendMessageW(tabs_, TCM_SETCURSEL, 0, 0);
    }
    ~TestHost() { DestroyWindow(window_); }
    HWND Window() const { return window_; }

private:
    void BuildPlaylist(const std::vector<std::wstring>& paths) {
        entries_.assign(paths.size(), std::vector<unsigned char>(1248, 0));
        record_.assign(1048, 0);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            std::memcpy(entries_[i].data(), paths[i].c_str(), (paths[i].size() + 1) * sizeof(wchar_t));
            const std::uint32_t next = i + 1 < paths.size() ? Address(entries_[i + 1]) : 0;
            std::memcpy(entries_[i].data() + 1244, &next, sizeof next);
        }
        const std::uint32_t first = paths.empty() ? 0 : Address(entries_[0]);
        std::memcpy(record_.data() + 1044, &first, sizeof first);
    }
    static std::uint32_t Address(const std::vector<unsigned char>& block) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block.data()));
    }
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == 1026 && wParam == 107) return reinterpret_cast<LRESULT>(self->list_);
        if (self != nullptr && message == 1026 && wParam == 108) return reinterpret_cast<LRESULT>(self->tabs_);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND tabs_ = nullptr;
    std::vector<unsigned char> record_;
    std::vector<std::vector<unsigned char>> entries_;
};

// Watches the dialogs of this thread as the stand-in host does: what each
// progress step shows, and a chance to act once it is shown.
class DialogSpy {
public:
    DialogSpy() {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, Proc, nullptr, GetCurrentThreadId());
    }
    ~DialogSpy() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    int opened = 0;
    std::vector<std::string> shown;  // "PATH COUNTER" for each step
    std::function<void(HWND dialog, long index)> atStep;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HC_ACTION && current_ != nullptr) current_->On(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    void On(const CWPRETSTRUCT& message) {
        if (message.message == WM_INITDIALOG) ++opened;
        if (message.message != WM_APP || message.wParam != 1) return;
        wchar_t path[600] = {}, counter[32] = {};
        GetDlgItemTextW(message.hwnd, 1001, path, 600);
        GetDlgItemTextW(message.hwnd, 1002, counter, 32);
        shown.push_back(WideToUtf8(path) + " " + WideToUtf8(counter));
        if (atStep) atStep(message.hwnd, static_cast<long>(message.lParam));
    }
    static DialogSpy* current_;
    HHOOK hook_ = nullptr;
};
DialogSpy* DialogSpy::current_ = nullptr;

TEST(PlaylistBatch, ACommandArrivingDuringABatchReturnsAtOnceAndLeavesTheBatchAlone) {
    HostFolder folder;
    TestHost host({L"C:\\a.wav", L"C:\\b.wav", L"C:\\c.wav"});
    LoadedPlugin plugin(folder, host.Window());
    ASSERT_TRUE(plugin.Loaded());
    DialogSpy spy;
    std::vector<std::int32_t> reentered;
    spy.atStep = [&](HWND, long index) {
        if (index == 0) reentered.push_back(plugin.Command(61601));
        if (index == 1) reentered.push_back(plugin.Command(61602));
    };
    EXPECT_EQ(plugin.Command(61600), 1);
    EXPECT_EQ(spy.opened, 1);
    EXPECT_EQ(reentered, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(spy.shown, (std::vector<std::string>{"C:\\a.wav 0/3", "C:\\b.wav 1/3", "C:\\c.wav 2/3"}));
}

TEST(PlaylistBatch, ADialogDestroyedUnderARunningBatchStopsItAfterTheItemInWork) {
    HostFolder folder;
    TestHost host({L"C:\\a.wav", L"C:\\b.wav", L"C:\\c.wav", L"C:\\d.wav"});
    LoadedPlugin plugin(folder, host.Window());
    ASSERT_TRUE(plugin.Loaded());
    const std::wstring database = folder.Path() + L"\\vellumdb.db";  // beside the module
    Exec(database, "INSERT INTO list(file_name) VALUES('C:\\a.wav'), ('C:\\b.wav'), ('C:\\c.wav'), ('C:\\d.wav')");
    DialogSpy spy;
    spy.atStep = [](HWND dialog, long index) {
        if (index == 1) DestroyWindow(dialog);
    };
    EXPECT_EQ(plugin.Command(61601), 1);
    EXPECT_EQ(spy.shown.size(), 2u);
    EXPECT_EQ(Column(database, "SELECT file_name FROM list ORDER BY file_name"),
              (std::vector<std::string>{"C:\\c.wav", "C:\\d.wav"}));
}

// --- A picture of the dialog -----------------------------------------------------------

std::string UnixPath(const std::wstring& path) {
    typedef char*(__cdecl * ToUnixFn)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) return std::string();
    char* unix = toUnix(path.c_str());
    if (unix == nullptr) return std::string();
    std::string text = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
}

std::wstring DosPath(const std::string& unixPath) {
    typedef wchar_t*(__cdecl * ToDosFn)(const char*);
    auto toDos = reinterpret_cast<ToDosFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr) return std::wstring();
    wchar_t* dos = toDos(unixPath.c_str());
    if (dos == nullptr) return std::wstring();
    std::wstring text = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return text;
}

// The dialog's fonts (Tahoma under Wine, bold in the caption) have no Japanese
// glyphs. Windows falls back through font links; Wine's link for Tahoma names
// "MS UI Gothic" and it has none for the bold face. The IPA Gothic fonts are put
// in the prefix's Fonts folder and both links are made to lead to them.
void InstallJapaneseFonts() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const char* name : {"ipag.ttf", "ipagp.ttf"}) {
        const std::wstring from = DosPath(std::string("/usr/share/fonts/opentype/ipafont-gothic/") + name);
        const std::wstring to = std::wstring(windows) + L"\\Fonts\\" + Utf8ToWide(name);
        if (!from.empty() && !FileExists(to)) CopyFileW(from.c_str(), to.c_str(), TRUE);
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const wchar_t face[] = L"IPAGothic";
        RegSetValueExW(key, L"MS UI Gothic", 0, REG_SZ, reinterpret_cast<const BYTE*>(face), sizeof face);
        RegCloseKey(key);
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                        0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const wchar_t link[] = L"ipag.ttf,IPAGothic\0";  // a list: two terminators
        RegSetValueExW(key, L"Tahoma Bold", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(link), sizeof link);
        RegCloseKey(key);
    }
}

// Starts a program of the machine Wine runs on. Wine gives no handle to wait
// on for such a process: callers wait for its result instead.
bool StartUnixProgram(const std::string& commandLine) {
    std::wstring command = Utf8ToWide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    return true;
}

// True once `path` holds a complete PNG (its last chunk, IEND, written).
bool WaitForPng(const std::wstring& path, DWORD timeoutMs) {
    static const char kEnd[] = "IEND\xAE\x42\x60\x82";
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char tail[8] = {};
            DWORD got = 0;
            SetFilePointer(file, -8, nullptr, FILE_END);
            ReadFile(file, tail, 8, &got, nullptr);
            CloseHandle(file);
            if (got == 8 && std::string(tail, 8) == std::string(kEnd, 8)) return true;
        }
        Sleep(100);
    }
    return false;
}

TEST(PlaylistBatch, TheOpenProgressDialogIsSavedAsAPicture) {
    InstallJapaneseFonts();
    HostFolder folder;
    folder.Install();
    CreateDirectoryW((folder.Path() + L"\\音楽").c_str(), nullptr);
    std::string script;
    for (const wchar_t* name : {L"曲1.wav", L"曲2.wav", L"曲3.wav"}) {
        WriteWav(folder.Path() + L"\\音楽\\" + name);
        script += "add %DIR%\\音楽\\" + WideToUtf8(name) + "\n";
    }
    const std::wstring bitmap = folder.Path() + L"\\dialog.bmp";
    HostLog log = folder.Run(script + "select all\ndialog screenshot-at 1 %DIR%\\dialog.bmp\ncommand 61600\n");
    ASSERT_EQ(log.Starting("dialog screenshot ").size(), 1u) << log.Text();
    ASSERT_TRUE(FileExists(bitmap));

    const std::wstring output = ArtifactFolder() + L"\\..\\test-output";
    CreateDirectoryW(output.c_str(), nullptr);
    const std::wstring picture = output + L"\\progress-dialog.png";
    DeleteFileW(picture.c_str());
    const std::string from = UnixPath(bitmap), to = UnixPath(picture);
    ASSERT_FALSE(from.empty() || to.empty()) << "needs Wine's path conversions";
    // Explicit formats: the "c:" in a Wine prefix path must not be read as one.
    ASSERT_TRUE(StartUnixProgram("/usr/bin/convert \"bmp:" + from + "\" \"png:" + to + "\""));
    EXPECT_TRUE(WaitForPng(picture, 60000)) << "ImageMagick convert made no picture of " << from << " at " << to;
    std::printf("progress dialog picture: %s\n", to.c_str());
}

}  // namespace
}  // namespace vellum::wine
