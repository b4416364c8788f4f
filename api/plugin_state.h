// PluginState: the plugin's process-wide portable state, alive from module
// load to unload: the library's connection and what the interface for other
// plugins, the play counting and the batches share. The Win32 shell keeps its
// module handle, menu and registered message ids apart (plugin/shell_state_win32.h).
//
// Fields shared between threads are atomic or guarded: the SQL connection by
// its own lock (library/connection.h), the current path by a lock of its own,
// the listener list by its lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "api/listener_list.h"
#include "library/connection.h"
#include "platform/seam.h"
#include "probe/audio_library.h"
#include "probe/host_cue.h"
#include "probe/probe_context.h"

namespace vellum {

// The path of the item now playing, written at play start and read by the
// end-of-play callback on another thread: a reader sees the old path or the
// new one, never a mix.
class CurrentPath {
public:
    void Set(std::u16string_view path);
    std::u16string Get() const;

private:
    mutable platform::RecursiveLock lock_;
    std::u16string path_;
};

struct PluginState {
    // Set once the host has enabled the plugin; the listeners hear the host's
    // messages only then.
    std::atomic<std::int32_t> enabled{0};
    LibraryConnection connection;
    // The database file's path in the ANSI code page, for GetDatabasePath.
    char databasePath[260] = {};
    // The host's cue interface, or null when it offers none.
    HostCue* hostCue = nullptr;
    std::atomic<std::uint32_t> lastChangeTick{0};
    std::atomic<std::uint32_t> currentChannel{0};
    CurrentPath currentPath;
    ListenerList listeners;
    AudioLibrary audio;

    // What probing a track needs: the bound audio library and the host's cue
    // interface, if any.
    ProbeContext Probe() const { return ProbeContext{audio, hostCue}; }
};

// The one instance.
PluginState& State();

}  // namespace vellum
