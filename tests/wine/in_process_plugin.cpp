#include "in_process_plugin.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

namespace vellum::wine {
namespace {

LRESULT CALLBACK CloseMessageBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDOK, 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Link(unsigned char* at, const std::vector<unsigned char>& entry) {
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(entry.data()));
    std::memcpy(at, &address, sizeof address);
}

}  // namespace

MessageBoxCloser::MessageBoxCloser()
    : hook_(SetWindowsHookExW(WH_CBT, CloseMessageBoxes, nullptr, GetCurrentThreadId())) {}

LoadedPlugin::LoadedPlugin(const HostFolder& folder, HWND window) {
    const std::wstring module = folder.Path() + L"\\vellumdb.qpl";
    CopyFileW((ArtifactFolder() + L"\\vellumdb.qpl").c_str(), module.c_str(), FALSE);
    module_.Reset(LoadLibraryW(module.c_str()));
    if (!module_) return;
    auto info = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(module_.Get(), "GetGPluginInfo")));
    slots_ = static_cast<const std::uintptr_t*>(info());
    if (window == nullptr) {
        ownWindow_.Reset(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        window = ownWindow_.Get();
    }
    window_ = window;
    const MessageBoxCloser boxes;
    Event(6);
}

LoadedPlugin::~LoadedPlugin() {
    if (module_) Event(1);
}

std::int32_t LoadedPlugin::Command(WPARAM wParam) {
    HookRecord record{window_, WM_COMMAND, wParam, 0, 0};
    const std::int32_t answer = reinterpret_cast<HookFn>(slots_[1])(&record);
    return record.result == 0 ? answer : -1;
}

std::int32_t LoadedPlugin::OpenMenu(HMENU menu) {
    HookRecord record{window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0, 0};
    return reinterpret_cast<HookFn>(slots_[1])(&record);
}

void LoadedPlugin::Event(std::int32_t code) { reinterpret_cast<EventFn>(slots_[2])(window_, code); }

HostPlaylist::HostPlaylist(HWND parent, const std::vector<std::wstring>& paths)
    : entries_(paths.size(), std::vector<unsigned char>(1248, 0)), record_(1048, 0) {
    LoadLibraryW(L"comctl32.dll");  // registers the list view and tab classes
    view_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_OWNERDATA, 0, 0, 100, 100, parent,
                            nullptr, nullptr, nullptr);
    SendMessageW(view_, LVM_SETITEMCOUNT, paths.size(), 0);
    LVITEMW selected{};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    SendMessageW(view_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&selected));
    for (std::size_t i = 0; i < paths.size(); ++i)
        std::memcpy(entries_[i].data(), paths[i].data(), std::min<std::size_t>(paths[i].size(), 520) * 2);
    for (std::size_t i = 0; i + 1 < paths.size(); ++i) Link(entries_[i].data() + 1244, entries_[i + 1]);
    if (!paths.empty()) Link(record_.data() + 1044, entries_[0]);
    tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD, 0, 0, 100, 100, parent, nullptr, nullptr, nullptr);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT | TCIF_PARAM;
    tab.pszText = const_cast<wchar_t*>(L"list");
    tab.lParam = reinterpret_cast<LPARAM>(record_.data());
    SendMessageW(tabs_, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tab));
    SendMessageW(tabs_, TCM_SETCURSEL, 0, 0);
}

TestHost::TestHost(const std::vector<std::wstring>& paths) : window_(Create(this)), playlist_(window_.Get(), paths) {}

HWND TestHost::Create(TestHost* self) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VellumTestHost";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"VellumTestHost", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return window;
}

LRESULT CALLBACK TestHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TestHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == 1026 && wParam == 107) return reinterpret_cast<LRESULT>(self->playlist_.View());
    if (self != nullptr && message == 1026 && wParam == 108) return reinterpret_cast<LRESULT>(self->playlist_.Tabs());
    return DefWindowProcW(window, message, wParam, lParam);
}

DialogSpy* DialogSpy::current_ = nullptr;

DialogSpy::DialogSpy() {
    current_ = this;
    hook_.Reset(SetWindowsHookExW(WH_CALLWNDPROCRET, Proc, nullptr, GetCurrentThreadId()));
}

DialogSpy::~DialogSpy() {
    hook_.Reset();
    current_ = nullptr;
}

LRESULT CALLBACK DialogSpy::Proc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && current_ != nullptr) current_->On(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogSpy::On(const CWPRETSTRUCT& message) {
    if (message.message == WM_INITDIALOG) ++opened;
    if (message.message != WM_APP || message.wParam != 1) return;
    wchar_t path[600] = {}, counter[32] = {};
    GetDlgItemTextW(message.hwnd, 1001, path, 600);
    GetDlgItemTextW(message.hwnd, 1002, counter, 32);
    shown.push_back(WideToUtf8(path) + " " + WideToUtf8(counter));
    if (atStep) atStep(message.hwnd, static_cast<long>(message.lParam));
}

}  // namespace vellum::wine
