// The module: its entry point, the one export, the descriptor and the
// lifecycle events the host sends.
#include <windows.h>

#include <string>

#include "api/library_interface.h"
#include "api/plugin_state.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "platform/unique_handle_win32.h"
#include "plugin/backup_thread_win32.h"
#include "plugin/bind_audio_win32.h"
#include "plugin/database_path_win32.h"
#include "plugin/host_cue_win32.h"
#include "plugin/host_win32.h"
#include "plugin/play_start_win32.h"
#include "plugin/plugin_win32.h"
#include "plugin/shell_state_win32.h"

namespace vellum {
namespace {

enum Event : std::int32_t {
    kEnable = HOST_EVENT_ENABLE,
    kShutDown = HOST_EVENT_SHUT_DOWN,
    kPlayStarted = HOST_EVENT_PLAY_STARTED,
    kInitialise = HOST_EVENT_INITIALISE
};
constexpr int kMenuResource = 100;

PluginDescriptor g_descriptor;
Win32HostCue g_hostCue;
// The menu resource the submenu is copied from, loaded at initialise and
// destroyed at shut-down (or at unload when the host never shuts the plugin down).
win32::UniqueMenu g_menu;

void FillDescriptor() {
    g_descriptor.reserved = 0;
    g_descriptor.hook = PluginMessageHook;
    g_descriptor.eventProc = PluginEventProc;
    FillLibraryInterface(g_descriptor.library);
}

// Opens the database through the module's real UTF-16 path, so a folder with
// characters outside the ANSI code page works. GetDatabasePath then hands out
// an ANSI text that reaches this same file, taken once the file exists (its
// short form needs it), or an empty text when there is none.
void OpenDatabase(PluginState& state) {
    const std::wstring path = DatabasePathFor(Shell().module);
    state.connection.Open(
        platform::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size())));
    const std::string ansi = AnsiNameFor(path, sizeof state.databasePath);
    lstrcpynA(state.databasePath, ansi.c_str(), sizeof state.databasePath);
}

void Initialise(HWND host) {
    PluginState& state = State();
    ShellState& shell = Shell();
    BindAudioLibraries(state.audio);
    shell.interfaceMessage = RegisterWindowMessageW(VELLUMDB_MSG_GETINTERFACE_W);
    shell.versionMessage = RegisterWindowMessageW(VELLUMDB_MSG_GETVERSION_W);
    shell.notifyMessage = RegisterWindowMessageW(VELLUMDB_MSG_NOTIFY_W);
    state.hostCue = g_hostCue.Attach(host::QueryCueInterface(host)) ? &g_hostCue : nullptr;
    g_menu.Reset(LoadMenuW(shell.module, MAKEINTRESOURCEW(kMenuResource)));
    shell.menu = g_menu.Get();
    OpenDatabase(state);
    state.lastChangeTick = platform::TickCount();
}

// Enabled: the plugin is in use, and the day's backup may be taken in the
// background from now on.
void Enable() {
    State().enabled = 1;
    StartAutomaticBackups(DatabasePathFor(Shell().module));
}

void ShutDown() {
    PluginState& state = State();
    state.enabled = 0;
    StopAutomaticBackups();
    state.connection.Close();
    Shell().menu = nullptr;
    g_menu.Reset();
}

}  // namespace

PluginDescriptor& Descriptor() { return g_descriptor; }

std::int32_t __stdcall PluginEventProc(HWND host, std::int32_t event) {
    try {
        switch (event) {
            case kInitialise: Initialise(host); break;
            case kEnable: Enable(); break;
            case kShutDown: ShutDown(); break;
            case kPlayStarted: HandlePlayStarted(host); break;
            default: break;
        }
    } catch (...) {
        // Nothing may cross into the host; the event is still answered.
    }
    return 1;
}

}  // namespace vellum

extern "C" void* __stdcall GetGPluginInfo(void) { return &vellum::g_descriptor; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        vellum::Shell().module = instance;
        vellum::FillDescriptor();
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
