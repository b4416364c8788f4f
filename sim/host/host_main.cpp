// The stand-in host player: a small Win32 program that loads plugins from its Plugins
// folder and behaves toward them as the real player does, driven by a script.
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "host_app.h"
#include "host_log.h"
#include "options.h"
#include "text.h"

namespace {

std::vector<std::wstring> Arguments() {
    int count = 0;
    struct LocalBlockFree {
        void operator()(wchar_t** block) const { LocalFree(block); }
    };
    const std::unique_ptr<wchar_t*, LocalBlockFree> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> args;
    for (int i = 1; argv && i < count; ++i) args.emplace_back(argv.get()[i]);
    return args;
}

std::wstring ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    while (length == path.size()) {
        path.resize(path.size() * 2);
        length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    }
    path.resize(length);
    return host::FolderPart(path);
}

bool OpenLog(host::HostLog& log, const host::HostOptions& options) {
    if (options.logPath.empty()) {
        log.UseStandardOutput();
        return true;
    }
    return log.OpenFile(options.logPath);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    host::HostLog log;
    host::HostOptions options;
    std::string error;
    bool parsed = host::ParseOptions(Arguments(), options, error);
    if (!OpenLog(log, options)) {
        log.UseStandardOutput();
        log.Error("cannot create the log file " + host::Utf8FromWide(options.logPath));
        return 1;
    }
    if (!parsed) {
        log.Error(error);
        return 1;
    }
    host::HostApp app(log, options, ExecutableFolder());
    if (!app.Start(instance, show)) return 1;
    return app.Run();
}
