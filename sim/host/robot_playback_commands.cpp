// Script commands on playback, the cue interface and the plugins' dialogs.
#include <windows.h>

#include <cstring>
#include <vector>

#include "host_app.h"
#include "robot_commands.h"
#include "text.h"

namespace host {
namespace {

bool StartRow(HostApp& app, std::string_view args, bool crossfade) {
    auto row = ParseInteger(NextWord(args));
    auto urlSeconds = args.empty() ? std::optional<double>(kDefaultUrlSeconds) : ParseNumber(args);
    if (!row || *row < 0 || !urlSeconds) return false;
    app.InvokeOnWindowThread([&] { app.PlayRow(static_cast<size_t>(*row), *urlSeconds, crossfade); });
    return true;
}

bool Play(HostApp& app, std::string_view args) { return StartRow(app, args, false); }
bool PlayOver(HostApp& app, std::string_view args) { return StartRow(app, args, true); }

// Runs a player operation on the window thread and logs its failure.
template <typename Operation>
void OnPlayer(HostApp& app, Operation operation) {
    app.InvokeOnWindowThread([&] {
        std::string error;
        if (!operation(app.Playback(), error)) app.Log().Error(error);
    });
}

bool PlayPosition(HostApp& app, std::string_view args) {
    auto seconds = ParseNumber(args);
    if (!seconds || *seconds < 0) return false;
    OnPlayer(app, [&](Player& player, std::string& error) { return player.MoveTo(*seconds, error); });
    return true;
}

bool PlayEnd(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    OnPlayer(app, [](Player& player, std::string& error) { return player.MoveToEnd(error); });
    return true;
}

bool PreviousEnd(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    OnPlayer(app, [](Player& player, std::string& error) { return player.PreviousToEnd(error); });
    return true;
}

bool StopPlaying(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    OnPlayer(app, [](Player& player, std::string& error) { return player.Stop(error); });
    return true;
}

// Waits on the robot's thread: the syncs may send to the main window, whose thread must
// stay free to receive them. The round trip then lets it finish what they sent.
bool WaitSyncs(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    if (app.Audio().waitSyncs == nullptr) {
        app.Log().Error("wait-syncs needs bass.dll with SIMBASS_WaitSyncs");
        return true;
    }
    app.Audio().waitSyncs();
    app.InvokeOnWindowThread([] {});
    return true;
}

// The cue interface as a plugin sees it: through the record's words, from a thread of
// the plugin's own (here the robot's).
const uintptr_t* CueWords(HostApp& app) {
    auto words = reinterpret_cast<const uintptr_t*>(app.Cue().Address());
    if (words == nullptr) app.Log().Error("the host gives no cue interface");
    return words;
}

// A path argument in the interface's text encoding, in a buffer of at least 520 units.
std::vector<char> CuePathArgument(const uintptr_t* words, std::string_view path) {
    std::vector<char> buffer;
    if (words[kCueWordTextFlag] != 0) {
        std::wstring wide = WideFromUtf8(path);
        wide.resize(std::max<size_t>(wide.size() + 1, 520), L'\0');
        buffer.resize(wide.size() * sizeof(wchar_t));
        std::memcpy(buffer.data(), wide.data(), buffer.size());
    } else {
        std::string ansi = AnsiFromWide(WideFromUtf8(path));
        buffer.assign(ansi.begin(), ansi.end());
        buffer.resize(std::max<size_t>(buffer.size() + 1, 520), '\0');
    }
    return buffer;
}

template <typename T>
T ReadField(const uint8_t* record, size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

bool CueOpen(HostApp& app, std::string_view args) {
    if (args.empty()) return false;
    const uintptr_t* words = CueWords(app);
    if (words == nullptr) return true;
    std::vector<char> path = CuePathArgument(words, args);
    auto open = reinterpret_cast<CueOpenFn>(words[kCueWordOpen]);
    auto release = reinterpret_cast<CueReleaseFn>(words[kCueWordRelease]);
    auto record = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(open(path.data())));
    if (record == nullptr) {
        app.Log().Line("cue-open 0");
        return true;
    }
    bool wide = words[kCueWordTextFlag] != 0;
    app.Log().Line("cue-open channel=" + std::to_string(ReadField<uint32_t>(record, 0)) + " start=" +
                   std::to_string(ReadField<uint64_t>(record, wide ? kWideTrackStart : kAnsiTrackStart)) + " length=" +
                   std::to_string(ReadField<uint64_t>(record, wide ? kWideTrackLength : kAnsiTrackLength)));
    release(record);
    return true;
}

bool CueTitle(HostApp& app, std::string_view args) {
    if (args.empty()) return false;
    const uintptr_t* words = CueWords(app);
    if (words == nullptr) return true;
    std::vector<char> path = CuePathArgument(words, args);
    const void* title = reinterpret_cast<CueTitleFn>(words[kCueWordTitle])(path.data());
    std::wstring text = words[kCueWordTextFlag] != 0 ? std::wstring(static_cast<const wchar_t*>(title))
                                                     : WideFromAnsi(static_cast<const char*>(title));
    app.Log().Line("cue-title " + Utf8FromWide(text));
    return true;
}

bool CueOutstanding(HostApp& app, std::string_view args) {
    if (!args.empty()) return false;
    app.Log().Line("cue-outstanding " + std::to_string(app.Cue().Outstanding()));
    return true;
}

void ArmDialogWatch(HostApp& app, DialogAction action, long step, const std::wstring& file,
                    const std::vector<WPARAM>& keys = {}) {
    app.InvokeOnWindowThread([&] {
        if (!app.Dialogs().Arm(action, step, file, keys)) app.Log().Error("cannot install the dialog watcher");
    });
}

// Key names of "dialog keys-at": enter, space, escape.
bool ParseKeys(std::string_view args, std::vector<WPARAM>& keys) {
    for (std::string name(NextWord(args)); !name.empty(); name = std::string(NextWord(args))) {
        if (name == "enter") keys.push_back(VK_RETURN);
        else if (name == "space") keys.push_back(VK_SPACE);
        else if (name == "escape") keys.push_back(VK_ESCAPE);
        else return false;
    }
    return !keys.empty();
}

bool Dialog(HostApp& app, std::string_view args) {
    std::string mode(NextWord(args));
    DialogAction action;
    if (mode == "record") {
        if (!args.empty()) return false;
        ArmDialogWatch(app, DialogAction::Record, -1, L"");
        return true;
    }
    if (mode == "cancel-at") action = DialogAction::ClickCancel;
    else if (mode == "close-at") action = DialogAction::Close;
    else if (mode == "escape-at") action = DialogAction::PressEscape;
    else if (mode == "keys-at") action = DialogAction::PressKeys;
    else if (mode == "screenshot-at") action = DialogAction::Screenshot;
    else return false;
    auto step = ParseInteger(NextWord(args));
    if (mode == "keys-at") {
        std::vector<WPARAM> keys;
        if (!step || *step < 0 || !ParseKeys(args, keys)) return false;
        ArmDialogWatch(app, action, static_cast<long>(*step), L"", keys);
        return true;
    }
    bool needsFile = action == DialogAction::Screenshot;
    if (!step || *step < 0 || args.empty() != !needsFile) return false;
    ArmDialogWatch(app, action, static_cast<long>(*step), WideFromUtf8(args));
    return true;
}

}  // namespace

const std::vector<RobotCommand>& PlaybackCommands() {
    static const std::vector<RobotCommand> commands = {
        {"play", &Play},
        {"play-position", &PlayPosition},
        {"play-end", &PlayEnd},
        {"stop", &StopPlaying},
        {"play-over", &PlayOver},
        {"previous-end", &PreviousEnd},
        {"wait-syncs", &WaitSyncs},
        {"cue-open", &CueOpen},
        {"cue-title", &CueTitle},
        {"cue-outstanding", &CueOutstanding},
    };
    return commands;
}

const std::vector<RobotCommand>& DialogCommands() {
    static const std::vector<RobotCommand> commands = {{"dialog", &Dialog}};
    return commands;
}

}  // namespace host
