// Counting plays that reach their end: the play-start handler and the sync
// callback the audio library calls on a thread of its own.
#include "plugin/play_start_win32.h"

#include <string>

#include "api/plugin_state.h"
#include "maintenance/play_statistics.h"
#include "maintenance/register_file.h"
#include "platform/seam.h"
#include "platform/unique_handle_win32.h"
#include "plugin/host_win32.h"
#include "plugin/plugin_win32.h"
#include "plugin/shell_state_win32.h"
#include "probe/host_text.h"
#include "probe/track_source.h"

namespace vellum {
namespace {

// Asks the host for the playing path through a hidden window whose text it
// sets. The text is read whole, however long, so that a path no buffer holds
// is refused rather than cut into the name of another track. False when the
// window cannot be created.
bool FetchPlayingPath(HWND host, std::u16string& path) {
    const win32::UniqueWindow window(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    if (!window) return false;
    host::FillPathWindow(host, window.Get());
    const int length = GetWindowTextLengthW(window.Get());
    std::wstring buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = GetWindowTextW(window.Get(), buffer.data(), static_cast<int>(buffer.size()));
    path.assign(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<std::size_t>(copied > 0 ? copied : 0));
    return true;
}

void __stdcall TrackEndSyncProc(AudioHandle, AudioHandle, std::uint32_t, void* user) {
    try {
        PluginState& state = State();
        const std::int64_t now = SystemTimeToSeconds(platform::LocalTimeNow());
        CreditCompletedPlay(state.connection, state.currentPath.Get(), static_cast<std::int32_t>(now));
        AnnounceChange(static_cast<HWND>(user));
    } catch (...) {
        // The audio library's thread must never see an exception.
    }
}

// The cue track's end position, through the host's cue lookup. False when the
// host does not know the track.
bool CueTrackEnd(HostCue& hostCue, std::u16string_view path, std::uint64_t& end) {
    HostPathBuffer buffer;
    if (!buffer.Fill(path, hostCue.WideText())) return false;
    const void* record = hostCue.OpenTrack(buffer.Data());
    if (record == nullptr) return false;
    const HostTrackLease lease(hostCue, record);
    const CueTrackInfo info = hostCue.ReadTrack(record);
    end = info.start + info.length;
    return true;
}

// At the end of the channel, or for a cue track at the end of the track. With
// no cue interface from the host every path is handled like a plain one.
void SetEndSync(PluginState& state, HWND host, AudioHandle channel, std::u16string_view path) {
    if (state.audio.ChannelSetSync == nullptr) return;
    if (state.hostCue != nullptr && ClassifyTrackPath(path) == TrackPathKind::CueTrack) {
        std::uint64_t end = 0;
        if (CueTrackEnd(*state.hostCue, path, end))
            state.audio.ChannelSetSync(channel, kAudioSyncPosition, end, TrackEndSyncProc, host);
        return;
    }
    state.audio.ChannelSetSync(channel, kAudioSyncEnd, 0, TrackEndSyncProc, host);
}

// Keeps the path for the end-of-play update, sets the sync and registers the
// track; the registration commits on its own or waits in the connection's
// store, never holding the window thread.
void StartTrack(PluginState& state, HWND host, const std::u16string& path) {
    const int length = host::PlayingLengthSeconds(host);
    state.currentPath.Set(path);
    const AudioHandle channel = state.currentChannel;
    SetEndSync(state, host, channel, path);
    RegisterFile(state.Probe(), state.connection, channel, path, length);
}

}  // namespace

void HandlePlayStarted(HWND host) {
    PluginState& state = State();
    std::u16string path;
    // Without a usable path (none, empty, or one no buffer holds) there is
    // nothing to register and nothing to count; the play start is announced
    // all the same, as every play start is.
    if (FetchPlayingPath(host, path) && IsUsableTrackPath(path)) StartTrack(state, host, path);
    AnnounceChange(host);
}

}  // namespace vellum
