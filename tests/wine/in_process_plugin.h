// The plugin loaded into the test process, and a host window of the test's own
// whose playlist it can read: for what the stand-in host cannot show, such as
// the hook's own answers, menus the host never opens, a command arriving
// during a batch or a dialog destroyed early.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host_run.h"
#include "platform/unique_handle_win32.h"
#include "vellumdb.h"

namespace vellum::wine {

// The record the host hands to slot 1 of a plugin's descriptor.
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

// While it lives, every message box this thread opens is closed with OK at
// once (the test process has no Plugins\bass\tags.dll, and the plugin says so).
class MessageBoxCloser {
public:
    MessageBoxCloser();

private:
    win32::UniqueHook hook_;
};

// The plugin loaded and initialised in this process. The host window is
// `window`, or without one a plain window of ours that has no playlist.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const HostFolder& folder, HWND window = nullptr);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool Loaded() const { return module_ && slots_ != nullptr; }
    // The hook's own answer to a WM_COMMAND; the record's result must stay 0.
    std::int32_t Command(WPARAM wParam);
    std::int32_t OpenMenu(HMENU menu);
    // The interface table inside the descriptor (slots 3 to 15).
    const VellumLibraryInterface* Interface() const {
        return reinterpret_cast<const VellumLibraryInterface*>(slots_ + 3);
    }

private:
    void Event(std::int32_t code);

    win32::UniqueModule module_;
    win32::UniqueWindow ownWindow_;  // destroyed before the module is freed
    const std::uintptr_t* slots_ = nullptr;
    HWND window_ = nullptr;
};

// A playlist laid out as the host's, every row selected: a list view and a tab
// control, children of `parent`, whose one tab's item data is the playlist
// record (first entry at 1044); entries of 1248 bytes hold the path in their
// first 520 units, which it may fill whole, and the next entry at 1244.
class HostPlaylist {
public:
    HostPlaylist(HWND parent, const std::vector<std::wstring>& paths);
    HostPlaylist(const HostPlaylist&) = delete;
    HostPlaylist& operator=(const HostPlaylist&) = delete;

    HWND View() const { return view_; }
    HWND Tabs() const { return tabs_; }

private:
    HWND view_ = nullptr;
    HWND tabs_ = nullptr;
    std::vector<std::vector<unsigned char>> entries_;
    std::vector<unsigned char> record_;
};

// A host window of our own with such a playlist, answering the plugin's
// queries for the list view (1026/107) and the tab control (1026/108).
class TestHost {
public:
    explicit TestHost(const std::vector<std::wstring>& paths);
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    HWND Window() const { return window_.Get(); }

private:
    static HWND Create(TestHost* self);
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    win32::UniqueWindow window_;
    HostPlaylist playlist_;
};

// Watches the dialogs of this thread as the stand-in host does: what each
// progress step shows, and a chance to act once it is shown.
class DialogSpy {
public:
    DialogSpy();
    ~DialogSpy();
    DialogSpy(const DialogSpy&) = delete;
    DialogSpy& operator=(const DialogSpy&) = delete;

    int opened = 0;
    std::vector<std::string> shown;  // "PATH COUNTER" for each step
    std::function<void(HWND dialog, long index)> atStep;

private:
    static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam);
    void On(const CWPRETSTRUCT& message);

    static DialogSpy* current_;
    win32::UniqueHook hook_;
};

}  // namespace vellum::wine
