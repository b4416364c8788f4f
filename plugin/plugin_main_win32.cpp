// The module: its entry point, the one export, the descriptor and the
// lifecycle events the host sends.
#include <windows.h>

#include <string>

#include "api/library_interface.h"
#include "plugin/play_start_win32.h"
#include "plugin/bind_audio_win32.h"
#include "plugin/host_cue_win32.h"
#include "plugin/host_win32.h"
#include "plugin/library_database.h"
#include "plugin/plugin_win32.h"
#include "platform/seam.h"
#include "platform/text.h"

namespace vellum {
namespace {

enum Event : std::int32_t { kEnable = 0, kShutDown = 1, kPlayStarted = 2, kInitialise = 6 };
constexpr int kMenuResource = 100;

PluginDescriptor g_descriptor;
Win32HostCue g_hostCue;

void FillDescriptor() {
    g_descriptor.reserved = 0;
    g_descriptor.hook = PluginMessageHook;
    g_descriptor.eventProc = PluginEventProc;
    FillLibraryInterface(g_descriptor.library);
}

// The module's own path with its extension replaced by ".db", in UTF-16.
std::u16string DatabasePathFor(HMODULE module) {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    std::wstring::size_type slash = path.find_last_of(L"\\/");
    std::wstring::size_type dot = path.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
    path += L".db";
    return std::u16string(reinterpret_cast<const char16_t*>(path.c_str()), path.size());
}

// Opens the database through the module's real UTF-16 path, so a folder with
// characters outside the ANSI code page works; the ANSI text of that same path
// is what GetDatabasePath hands out.
void OpenDatabase(LibraryDatabase& library) {
    const std::u16string path = DatabasePathFor(static_cast<HMODULE>(library.moduleHandle));
    const std::string ansi = platform::WideToAnsi(path);
    lstrcpynA(library.databasePath, ansi.c_str(), sizeof library.databasePath);
    library.database.Open(platform::Utf16ToUtf8(path));
}

void Initialise(HWND host) {
    LibraryDatabase& library = Library();
    BindAudioLibraries(library.audio);
    library.interfaceMessage = RegisterWindowMessageW(VELLUMDB_MSG_GETINTERFACE_W);
    library.notifyMessage = RegisterWindowMessageW(VELLUMDB_MSG_NOTIFY_W);
    library.hostCue = g_hostCue.Attach(host::QueryCueInterface(host)) ? &g_hostCue : nullptr;
    library.menu = LoadMenuW(static_cast<HMODULE>(library.moduleHandle), MAKEINTRESOURCEW(kMenuResource));
    OpenDatabase(library);
    library.lastChangeTick = platform::TickCount();
}

void ShutDown() {
    LibraryDatabase& library = Library();
    library.enabled = 0;
    library.database.Close();
}

}  // namespace

PluginDescriptor& Descriptor() { return g_descriptor; }

std::int32_t __stdcall PluginEventProc(HWND host, std::int32_t event) {
    try {
        switch (event) {
            case kInitialise: Initialise(host); break;
            case kEnable: Library().enabled = 1; break;
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
        vellum::Library().moduleHandle = instance;
        vellum::FillDescriptor();
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
