// A small plugin for the host's own tests (fixture.qpl). It treats the host as a plugin
// must and reports what it saw through message boxes, which the host logs and closes:
//  - event 6: registers its messages and asks for the cue interface; with the
//    environment variable FIXTURE_INIT_MESSAGEBOX set it shows "init cue=VERSION/FLAG"
//    (or "init cue=none") while initialising.
//  - event 2: fetches the playing path (1112/204) and length (1026/106), sends
//    "fixture_notify" (wParam 1, lParam length), sets an end sync on the announced
//    channel (for a cue track at the track end the cue interface reports) and shows
//    "play path=... length=... channel=... title=...". The sync sends "fixture_notify"
//    (wParam 2, lParam channel).
//  - the playlist menu (last item 40121): inserts its popup "fixture" four items from
//    the end, 61600 and 61601 enabled only while rows are selected.
//  - 61600: shows "collect rows=N paths=..." read from the playlist records; result N.
//  - 61601: runs a progress dialog over the selected paths; result = items done.
//  - "fixture_getinterface": answers the address of slot 3.
//  - slot 5: the tick taken at initialisation. Every event returns 1.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fixture_plugin.h"
#include "platform/unique_handle_win32.h"
#include "vellumdb_host.h"

namespace {

using SyncProc = void(__stdcall*)(DWORD sync, DWORD channel, DWORD data, void* user);
using SetSyncFn = DWORD(__stdcall*)(DWORD channel, DWORD type, uint64_t position, SyncProc proc, void* user);
using CueOpenFn = uint32_t(__stdcall*)(const void* path);
using CueReleaseFn = uint32_t(__stdcall*)(void* record);
using CueTitleFn = const void*(__stdcall*)(const void* path);
using TickFn = uint32_t(__stdcall*)();

constexpr UINT kSubmenuAdd = 61600;
constexpr UINT kSubmenuProgress = 61601;
constexpr UINT kSubmenuAlways = 61602;
constexpr size_t kPathChars = 520;

HMODULE module = nullptr;
HostPluginDescriptor descriptor;
// The descriptor's own slots stand in for vellumdb's table: slot 5, the
// table's third, is the last-change tick.
constexpr size_t kOwnLastChangeSlot = 2;
UINT interfaceMessage = 0;
UINT notifyMessage = 0;
const uintptr_t* cue = nullptr;
DWORD currentChannel = 0;
DWORD initTick = 0;
win32::UniqueMenu submenu;

// ---- reading the host

const wchar_t* EntryPath(const uint8_t* entry) { return reinterpret_cast<const wchar_t*>(entry); }
const uint8_t* NextEntry(const uint8_t* entry) { return *reinterpret_cast<const uint8_t* const*>(entry + 1244); }

const uint8_t* FirstEntry(HWND host) {
    HWND tabs = reinterpret_cast<HWND>(SendMessageW(host, 1026, 108, 108));
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    int current = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    SendMessageW(tabs, TCM_GETITEMW, current, reinterpret_cast<LPARAM>(&item));
    auto record = reinterpret_cast<const uint8_t*>(item.lParam);
    return record ? *reinterpret_cast<const uint8_t* const*>(record + 1044) : nullptr;
}

// The selected rows' paths, walking the chain once (rows come in ascending order).
std::vector<std::wstring> SelectedPaths(HWND host) {
    HWND list = reinterpret_cast<HWND>(SendMessageW(host, 1026, 107, -1));
    std::vector<std::wstring> paths;
    const uint8_t* entry = FirstEntry(host);
    int at = 0;
    for (int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
         row != -1 && entry != nullptr;
         row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) {
        for (; at < row && entry != nullptr; ++at) entry = NextEntry(entry);
        if (entry == nullptr) break;
        wchar_t path[kPathChars];
        lstrcpynW(path, EntryPath(entry), kPathChars);
        paths.push_back(path);
    }
    return paths;
}

std::wstring PlayingPath(HWND host) {
    const win32::UniqueWindow window(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    wchar_t path[kPathChars] = {};
    if (window) {
        SendMessageW(host, 1112, 204, reinterpret_cast<LPARAM>(window.Get()));
        GetWindowTextW(window.Get(), path, kPathChars);
    }
    return path;
}

// A path in the cue interface's encoding, in a buffer of 520 units.
std::vector<char> CuePath(const std::wstring& path) {
    std::vector<char> buffer(kPathChars * sizeof(wchar_t), 0);
    if (cue[2] != 0) {
        std::memcpy(buffer.data(), path.c_str(), std::min(path.size(), kPathChars - 1) * sizeof(wchar_t));
    } else {
        WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, buffer.data(), kPathChars - 1, nullptr, nullptr);
    }
    return buffer;
}

std::wstring CueTitle(const std::wstring& path) {
    if (cue == nullptr) return L"-";
    std::vector<char> argument = CuePath(path);
    const void* title = reinterpret_cast<CueTitleFn>(cue[7])(argument.data());
    if (title == nullptr) return L"(null)";
    if (cue[2] != 0) return static_cast<const wchar_t*>(title);
    wchar_t wide[kPathChars * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, static_cast<const char*>(title), -1, wide, kPathChars * 2);
    return wide;
}

// ---- play start

void __stdcall TrackEnded(DWORD, DWORD channel, DWORD, void* host) {
    SendMessageW(static_cast<HWND>(host), notifyMessage, 2, static_cast<LPARAM>(channel));
}

bool IsCueTrack(const std::wstring& path) {
    std::wstring lower = path;
    CharLowerW(lower.data());
    return lower.find(L"://") == std::wstring::npos && lower.find(L".cue/") != std::wstring::npos;
}

void SetEndSync(HWND host, const std::wstring& path) {
    HMODULE bass = GetModuleHandleW(L"bass.dll");
    auto setSync =
        bass ? reinterpret_cast<SetSyncFn>(reinterpret_cast<void*>(GetProcAddress(bass, "BASS_ChannelSetSync")))
             : nullptr;
    if (setSync == nullptr) return;
    if (!IsCueTrack(path) || cue == nullptr) {
        setSync(currentChannel, 2, 0, &TrackEnded, host);
        return;
    }
    std::vector<char> argument = CuePath(path);
    auto record =
        reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(reinterpret_cast<CueOpenFn>(cue[3])(argument.data())));
    if (record == nullptr) return;
    uint64_t start, length;
    std::memcpy(&start, record + (cue[2] ? 1048 : 528), sizeof start);
    std::memcpy(&length, record + (cue[2] ? 1056 : 536), sizeof length);
    setSync(currentChannel, 0, start + length, &TrackEnded, host);
    reinterpret_cast<CueReleaseFn>(cue[4])(record);
}

void PlayStarted(HWND host) {
    std::wstring path = PlayingPath(host);
    int length = static_cast<int>(SendMessageW(host, 1026, 106, 0));
    SendMessageW(host, notifyMessage, 1, length);
    SetEndSync(host, path);
    std::wstring report = L"play path=" + path + L" length=" + std::to_wstring(length) + L" channel=" +
                          std::to_wstring(currentChannel) + L" title=" + CueTitle(path);
    MessageBoxW(nullptr, report.c_str(), L"fixture.qpl", MB_OK);
}

// ---- initialisation

void Initialise(HWND host) {
    interfaceMessage = RegisterWindowMessageW(L"fixture_getinterface");
    notifyMessage = RegisterWindowMessageW(L"fixture_notify");
    cue = reinterpret_cast<const uintptr_t*>(SendMessageW(host, 1112, 108, 0));
    if (!submenu) {
        submenu.Reset(CreatePopupMenu());
        AppendMenuW(submenu.Get(), MF_STRING, kSubmenuAdd, L"収集");
        AppendMenuW(submenu.Get(), MF_STRING, kSubmenuProgress, L"進行");
        AppendMenuW(submenu.Get(), MF_SEPARATOR, 0, nullptr);
        AppendMenuW(submenu.Get(), MF_STRING, kSubmenuAlways, L"常時");
    }
    initTick = GetTickCount();
    wchar_t flag[8];
    if (GetEnvironmentVariableW(L"FIXTURE_INIT_MESSAGEBOX", flag, 8) > 0) {
        std::wstring text =
            cue == nullptr ? L"init cue=none" : L"init cue=" + std::to_wstring(cue[1]) + L"/" + std::to_wstring(cue[2]);
        MessageBoxW(nullptr, text.c_str(), L"fixture.qpl", MB_OK);
    }
}

int32_t __stdcall EventProc(HWND host, int32_t code) {
    if (code == HOST_EVENT_INITIALISE) Initialise(host);
    if (code == HOST_EVENT_PLAY_STARTED) PlayStarted(host);
    return 1;
}

}  // namespace

// ---- the progress dialog (in its own unit of the file for reading order)
namespace {

struct Batch {
    std::vector<std::wstring> paths;
    volatile LONG cancel = 0;
    LONG done = 0;
    win32::UniqueKernelHandle worker;
};

DWORD WINAPI BatchWorker(void* dialog) {
    auto* batch = reinterpret_cast<Batch*>(GetWindowLongPtrW(static_cast<HWND>(dialog), DWLP_USER));
    for (size_t i = 0; i < batch->paths.size(); ++i) {
        SendMessageW(static_cast<HWND>(dialog), WM_APP, 1, static_cast<LPARAM>(i));
        batch->done = static_cast<LONG>(i + 1);
        if (batch->cancel) break;
    }
    SendMessageW(static_cast<HWND>(dialog), WM_APP, 0, 0);
    return 0;
}

void ShowStep(HWND dialog, const Batch& batch, size_t i) {
    SendDlgItemMessageW(dialog, FIXTURE_PROGRESS_BAR, PBM_SETPOS, i, 0);
    SetDlgItemTextW(dialog, FIXTURE_PATH_TEXT, batch.paths[i].c_str());
    std::wstring counter = std::to_wstring(i) + L"/" + std::to_wstring(batch.paths.size());
    SetDlgItemTextW(dialog, FIXTURE_COUNTER_TEXT, counter.c_str());
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* batch = reinterpret_cast<Batch*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            batch = reinterpret_cast<Batch*>(lParam);
            SetWindowTextW(dialog, L"fixture 処理中");
            SendDlgItemMessageW(dialog, FIXTURE_PROGRESS_BAR, PBM_SETRANGE, 0,
                                MAKELPARAM(0, batch->paths.size() & 0xFFFF));
            batch->worker.Reset(CreateThread(nullptr, 0, &BatchWorker, dialog, 0, nullptr));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == FIXTURE_CANCEL) batch->cancel = 1;
            return TRUE;
        case WM_APP:
            if (wParam == 1) ShowStep(dialog, *batch, static_cast<size_t>(lParam));
            if (wParam == 0) EndDialog(dialog, 1);
            return TRUE;
        default: return FALSE;
    }
}

LRESULT RunProgress(HWND host) {
    Batch batch;
    batch.paths = SelectedPaths(host);
    if (batch.paths.empty()) return 0;
    DialogBoxParamW(module, MAKEINTRESOURCEW(FIXTURE_PROGRESS_DIALOG), host, &ProgressProc,
                    reinterpret_cast<LPARAM>(&batch));
    return batch.done;
}

LRESULT Collect(HWND host) {
    std::vector<std::wstring> paths = SelectedPaths(host);
    std::wstring text = L"collect rows=" + std::to_wstring(paths.size()) + L" paths=";
    for (size_t i = 0; i < paths.size(); ++i) {
        if (paths.size() > 4 && i == 2) {
            text += L"...|";
            i = paths.size() - 2;
        }
        text += paths[i] + (i + 1 < paths.size() ? L"|" : L"");
    }
    MessageBoxW(nullptr, text.c_str(), L"fixture.qpl", MB_OK);
    return static_cast<LRESULT>(paths.size());
}

void PrepareMenu(HWND host, HMENU menu) {
    int count = GetMenuItemCount(menu);
    if (count < 4 || GetMenuItemID(menu, count - 1) != 40121) return;
    InsertMenuW(menu, count - 4, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(submenu.Get()), L"fixture");
    HWND list = reinterpret_cast<HWND>(SendMessageW(host, 1026, 107, -1));
    UINT state = SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) != 0 ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(submenu.Get(), kSubmenuAdd, MF_BYCOMMAND | state);
    EnableMenuItem(submenu.Get(), kSubmenuProgress, MF_BYCOMMAND | state);
}

int32_t __stdcall MessageHook(HostMessage* message) {
    if (message->message == WM_COMMAND && LOWORD(message->wParam) == kSubmenuAdd) {
        message->result = Collect(message->window);
        return 1;
    }
    if (message->message == WM_COMMAND && LOWORD(message->wParam) == kSubmenuProgress) {
        message->result = RunProgress(message->window);
        return 1;
    }
    if (message->message == WM_INITMENUPOPUP && submenu) {
        PrepareMenu(message->window, reinterpret_cast<HMENU>(message->wParam));
    } else if (message->message == 1112 && message->wParam == 503) {
        currentChannel = static_cast<DWORD>(message->lParam);
    } else if (interfaceMessage != 0 && message->message == interfaceMessage) {
        message->result = reinterpret_cast<LRESULT>(&descriptor.slots[0]);
        return 1;
    }
    return 0;
}

uint32_t __stdcall LastChangeTick() { return initTick; }

}  // namespace

extern "C" __stdcall HostPluginDescriptor* GetGPluginInfo() {
    if (descriptor.hook == nullptr) {
        descriptor.hook = &MessageHook;
        descriptor.eventProc = &EventProc;
        descriptor.slots[kOwnLastChangeSlot] = reinterpret_cast<uintptr_t>(static_cast<TickFn>(&LastChangeTick));
    }
    return &descriptor;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
