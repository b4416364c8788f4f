// The stand-in host player: loads the audio library and the plugins, runs the main
// window and its plugins' lifecycle, plays playlist items and lets a script robot drive
// it. Everything except InvokeOnWindowThread and the read-only accessors runs on the
// window thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "audio_library.h"
#include "cue_interface.h"
#include "dialog_watcher.h"
#include "host_log.h"
#include "main_window.h"
#include "messagebox_watcher.h"
#include "options.h"
#include "player.h"
#include "plugin_set.h"

namespace host {

constexpr double kDefaultUrlSeconds = 60.0;

class HostApp {
public:
    HostApp(HostLog& log, HostOptions options, std::wstring folder);
    HostApp(const HostApp&) = delete;
    HostApp& operator=(const HostApp&) = delete;

    // Loads everything, creates the window and initialises the plugins.
    bool Start(HINSTANCE instance, int show);
    // Runs the message loop (and the script robot beside it); returns the exit code.
    int Run();

    // Any thread: runs work on the window thread through the window procedure.
    bool InvokeOnWindowThread(const std::function<void()>& work);

    HostLog& Log() { return log_; }
    const std::wstring& Folder() const { return folder_; }
    HWND Window() const { return window_.Handle(); }
    PluginSet& Plugins() { return plugins_; }
    Player& Playback() { return player_; }
    CueInterface& Cue() { return cue_; }
    AudioLibrary& Audio() { return audio_; }
    DialogWatcher& Dialogs() { return dialogs_; }
    PlaylistView& Playlists() { return window_.Playlists(); }
    DWORD InitTickBefore() const { return initTickBefore_; }
    DWORD InitTickAfter() const { return initTickAfter_; }

    // Sends an event to every plugin and logs "event CODE = RESULT" for each.
    void SendEventLogged(int32_t code);
    bool PlayRow(size_t row, double urlSeconds = kDefaultUrlSeconds, bool crossfade = false);
    void StopPlayback();
    void ShowPlaylistMenu(POINT where);
    void LogPlaylistMenu();
    void SetPlaylistMenuItems(int count) { menuItems_ = count; }
    void WatchRegistered(const std::string& name);
    void NoteRegisteredMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Event 1 and the "exit" line, once.
    void Shutdown();

private:
    void LogEventResults(int32_t code, const std::vector<EventResult>& results);
    void InitialisePlugins();
    void ServeUntilDone(HANDLE thread);

    HostLog& log_;
    HostOptions options_;
    std::wstring folder_;
    // Declared in the order of need: destroyed in reverse, the watcher last.
    MessageBoxWatcher boxes_;
    AudioLibrary audio_;
    CueInterface cue_;
    PluginSet plugins_;
    Player player_;
    DialogWatcher dialogs_;
    MainWindow window_;
    std::map<UINT, std::string> watched_;
    int menuItems_;
    DWORD initTickBefore_ = 0;
    DWORD initTickAfter_ = 0;
    bool shutDown_ = false;
};

}  // namespace host
