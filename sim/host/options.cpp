#include "options.h"

#include "text.h"

namespace host {
namespace {

bool ParseCueVersion(const std::wstring& value, HostOptions& options) {
    if (value == L"null") {
        options.cueInterfaceNull = true;
        return true;
    }
    auto number = ParseInteger(Utf8FromWide(value));
    if (!number) return false;
    options.cueVersion = static_cast<uint32_t>(*number);
    return true;
}

bool ParseCueText(const std::wstring& value, HostOptions& options) {
    if (value != L"wide" && value != L"ansi") return false;
    options.cueWideText = value == L"wide";
    return true;
}

bool ParseValueOption(const std::wstring& name, const std::wstring& value, HostOptions& options) {
    if (name == L"--log") {
        options.logPath = value;
        return true;
    }
    if (name == L"--cue-version") return ParseCueVersion(value, options);
    return ParseCueText(value, options);
}

}  // namespace

bool ParseOptions(const std::vector<std::wstring>& args, HostOptions& options, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"--no-enable") {
            options.enablePlugins = false;
        } else if (arg == L"--log" || arg == L"--cue-version" || arg == L"--cue-text") {
            if (i + 1 == args.size() || !ParseValueOption(arg, args[i + 1], options)) {
                error = "bad value for " + Utf8FromWide(arg);
                return false;
            }
            ++i;
        } else if (arg.rfind(L"--", 0) == 0 || !options.scriptPath.empty()) {
            error = "unexpected argument " + Utf8FromWide(arg);
            return false;
        } else {
            options.scriptPath = arg;
        }
    }
    return true;
}

}  // namespace host
