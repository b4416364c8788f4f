#include "robot_commands.h"

#include <windows.h>

#include "host_app.h"
#include "text.h"

namespace host {
namespace {

const RobotCommand* FindCommand(std::string_view name) {
    for (const auto* group : {&LifecycleCommands(), &PlaylistCommands(), &PlaybackCommands(), &DialogCommands()}) {
        for (const RobotCommand& command : *group) {
            if (name == command.name) return &command;
        }
    }
    return nullptr;
}

bool Plugins(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    for (const LoadedPlugin& plugin : app.Plugins().Plugins()) {
        app.Log().Line("plugin " + Utf8FromWide(plugin.fileName) +
                       " descriptor=" + (plugin.sameDescriptor ? "same" : "different") +
                       " slot0=" + std::to_string(plugin.descriptor[0]));
    }
    return true;
}

bool InitTick(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    app.Log().Line("init-tick " + std::to_string(app.InitTickBefore()) + " " + std::to_string(app.InitTickAfter()));
    return true;
}

// Called from the robot's thread, as another plugin would call it from its own.
bool LastChange(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    // The first plugin that fills the slot: plain plugins leave it 0.
    LastChangeFn slot = nullptr;
    for (const auto& plugin : app.Plugins().Plugins()) {
        slot = reinterpret_cast<LastChangeFn>(plugin.descriptor[kSlotLastChange]);
        if (slot != nullptr) break;
    }
    if (slot == nullptr) {
        app.Log().Error("no plugin with a last-change function");
    } else {
        app.Log().Line("lastchange " + std::to_string(slot()));
    }
    return true;
}

bool Event(HostApp& app, std::string_view args) {
    auto code = ParseInteger(args);
    if (!code) return false;
    app.InvokeOnWindowThread([&] { app.SendEventLogged(static_cast<int32_t>(*code)); });
    return true;
}

bool Command(HostApp& app, std::string_view args) {
    auto id = ParseInteger(NextWord(args));
    auto high = args.empty() ? std::optional<int64_t>(0) : ParseInteger(args);
    if (!id || !high) return false;
    WPARAM wParam = MAKEWPARAM(static_cast<WORD>(*id), static_cast<WORD>(*high));
    LRESULT result = SendMessageW(app.Window(), WM_COMMAND, wParam, 0);
    app.Log().Line("command " + std::to_string(*id) + " = " + std::to_string(result));
    return true;
}

bool Send(HostApp& app, std::string_view args) {
    std::string name(NextWord(args));
    auto wParam = ParseInteger(args.empty() ? "0" : NextWord(args));
    auto lParam = ParseInteger(args.empty() ? "0" : args);
    if (name.empty() || !wParam || !lParam) return false;
    UINT message = RegisterWindowMessageW(WideFromUtf8(name).c_str());
    LRESULT result = SendMessageW(app.Window(), message, static_cast<WPARAM>(*wParam), static_cast<LPARAM>(*lParam));
    app.Log().Line("send " + name + " = " + (result != 0 ? "nonzero" : "0"));
    return true;
}

bool WatchRegistered(HostApp& app, std::string_view args) {
    std::string name(args);
    if (name.empty() || name.find(' ') != std::string::npos) return false;
    app.InvokeOnWindowThread([&] { app.WatchRegistered(name); });
    return true;
}

bool SleepFor(HostApp&, std::string_view args) {
    auto milliseconds = ParseInteger(args);
    if (!milliseconds || *milliseconds < 0) return false;
    Sleep(static_cast<DWORD>(*milliseconds));
    return true;
}

}  // namespace

const std::vector<RobotCommand>& LifecycleCommands() {
    static const std::vector<RobotCommand> commands = {
        {"plugins", &Plugins},
        {"init-tick", &InitTick},
        {"lastchange", &LastChange},
        {"event", &Event},
        {"command", &Command},
        {"send", &Send},
        {"watch-registered", &WatchRegistered},
        {"sleep", &SleepFor},
    };
    return commands;
}

CommandOutcome RunCommand(HostApp& app, const std::string& line) {
    std::string_view rest = line;
    std::string name(NextWord(rest));
    if (name == "quit") return CommandOutcome::Quit;
    const RobotCommand* command = FindCommand(name);
    if (command == nullptr) {
        app.Log().Error("unknown command: " + line);
    } else if (!command->handler(app, rest)) {
        app.Log().Error("bad arguments: " + line);
    }
    return CommandOutcome::Continue;
}

}  // namespace host
