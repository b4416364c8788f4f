#include "plugin_set.h"

#include <algorithm>

#include "text.h"

namespace host {
namespace {

std::vector<std::wstring> PluginFileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    win32::UniqueFind search(FindFirstFileW((folder + L"\\*.qpl").c_str(), &found));
    if (!search) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search.Get(), &found));
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

}  // namespace

void PluginSet::LoadFolder(const std::wstring& folder, HostLog& log) {
    for (const std::wstring& name : PluginFileNames(folder)) LoadOne(folder, name, log);
}

bool PluginSet::LoadOne(const std::wstring& folder, const std::wstring& name, HostLog& log) {
    LoadedPlugin plugin;
    plugin.fileName = name;
    plugin.module.Reset(LoadLibraryW((folder + L"\\" + name).c_str()));
    if (!plugin.module) {
        log.Error("cannot load plugin " + Utf8FromWide(name));
        return false;
    }
    auto info = reinterpret_cast<GetPluginInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module.Get(), "GetGPluginInfo")));
    plugin.descriptor = info ? info() : nullptr;
    if (plugin.descriptor == nullptr) {
        log.Error("plugin " + Utf8FromWide(name) + " gives no descriptor");
        return false;
    }
    plugin.sameDescriptor = info() == plugin.descriptor;
    plugin.hook = reinterpret_cast<MessageHookFn>(plugin.descriptor[kSlotHook]);
    plugin.event = reinterpret_cast<EventProcFn>(plugin.descriptor[kSlotEvent]);
    plugins_.push_back(std::move(plugin));
    return true;
}

bool PluginSet::Hook(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) const {
    // Indexing, not iterators: a hook may send messages that come back here.
    for (size_t i = 0; i < plugins_.size(); ++i) {
        if (plugins_[i].hook == nullptr) continue;
        HostMessage record{window, message, wParam, lParam, 0};
        if (plugins_[i].hook(&record) != 0) {
            *result = record.result;
            return true;
        }
    }
    return false;
}

std::vector<EventResult> PluginSet::SendEvent(HWND window, int32_t code) const {
    std::vector<EventResult> results;
    for (const LoadedPlugin& plugin : plugins_) {
        if (plugin.event != nullptr) results.push_back({&plugin, plugin.event(window, code)});
    }
    return results;
}

void PluginSet::UnloadAll() {
    while (!plugins_.empty()) plugins_.pop_back();
}

}  // namespace host
