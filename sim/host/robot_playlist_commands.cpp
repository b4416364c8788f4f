// Script commands on playlists, the selection and the playlist context menu.
#include <windows.h>

#include "host_app.h"
#include "robot_commands.h"
#include "text.h"

namespace host {
namespace {

std::optional<size_t> ParseIndex(std::string_view text) {
    auto value = ParseInteger(text);
    if (!value || *value < 0) return std::nullopt;
    return static_cast<size_t>(*value);
}

void LogSelected(HostApp& app) { app.Log().Line("selected " + std::to_string(app.Playlists().SelectedCount())); }

bool PlaylistNew(HostApp& app, std::string_view args) {
    if (args.empty()) return false;
    std::wstring name = WideFromUtf8(args);
    app.InvokeOnWindowThread([&] { app.Playlists().NewPlaylist(name); });
    return true;
}

bool PlaylistTab(HostApp& app, std::string_view args) {
    auto index = ParseIndex(args);
    if (!index) return false;
    app.InvokeOnWindowThread([&] {
        if (!app.Playlists().SelectPlaylist(*index)) {
            app.Log().Error("no playlist tab " + std::to_string(*index));
        }
    });
    return true;
}

bool Add(HostApp& app, std::string_view args) {
    if (args.empty()) return false;
    std::wstring path = WideFromUtf8(args);
    app.InvokeOnWindowThread([&] { app.Playlists().Add(path); });
    return true;
}

bool AddMany(HostApp& app, std::string_view args) {
    auto count = ParseIndex(NextWord(args));
    if (!count || args.empty()) return false;
    std::wstring pattern = WideFromUtf8(args);
    app.InvokeOnWindowThread([&] { app.Playlists().AddMany(*count, pattern); });
    return true;
}

bool Rows(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    app.InvokeOnWindowThread([&] { app.Log().Line("rows " + std::to_string(app.Playlists().Current().Size())); });
    return true;
}

bool SelectRowList(HostApp& app, std::string_view args) {
    std::vector<size_t> rows;
    while (!args.empty()) {
        auto row = ParseIndex(NextWord(args));
        if (!row) return false;
        rows.push_back(*row);
    }
    app.InvokeOnWindowThread([&] {
        if (!app.Playlists().SelectRows(rows)) app.Log().Error("select: no such row");
        LogSelected(app);
    });
    return true;
}

bool Select(HostApp& app, std::string_view args) {
    if (args == "all" || args == "none") {
        app.InvokeOnWindowThread([&] {
            app.Playlists().SelectAll(args == "all");
            LogSelected(app);
        });
        return true;
    }
    return !args.empty() && SelectRowList(app, args);
}

bool SelectRange(HostApp& app, std::string_view args) {
    auto first = ParseIndex(NextWord(args));
    auto last = ParseIndex(args);
    if (!first || !last) return false;
    app.InvokeOnWindowThread([&] {
        if (!app.Playlists().SelectRange(*first, *last)) app.Log().Error("select-range: no such rows");
        LogSelected(app);
    });
    return true;
}

bool Menu(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    app.InvokeOnWindowThread([&] { app.LogPlaylistMenu(); });
    return true;
}

bool MenuItems(HostApp& app, std::string_view args) {
    auto count = ParseIndex(args);
    if (!count || *count < 1 || *count > 1000) return false;
    app.InvokeOnWindowThread([&] { app.SetPlaylistMenuItems(static_cast<int>(*count)); });
    return true;
}

}  // namespace

const std::vector<RobotCommand>& PlaylistCommands() {
    static const std::vector<RobotCommand> commands = {
        {"playlist-new", &PlaylistNew},
        {"playlist-tab", &PlaylistTab},
        {"add", &Add},
        {"add-many", &AddMany},
        {"rows", &Rows},
        {"select", &Select},
        {"select-range", &SelectRange},
        {"menu", &Menu},
        {"menu-items", &MenuItems},
    };
    return commands;
}

}  // namespace host
