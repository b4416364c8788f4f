// LibraryDatabase: the plugin's process-wide state, alive from module load to
// unload. Portable: window, menu and module handles are kept as opaque values.
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

struct LibraryDatabase {
    void* moduleHandle = nullptr;
    std::atomic<std::int32_t> enabled{0};
    LibraryConnection database;
    // The database file's path in the ANSI code page, for GetDatabasePath.
    char databasePath[260] = {};
    std::uint32_t interfaceMessage = 0;
    std::uint32_t versionMessage = 0;
    std::uint32_t notifyMessage = 0;
    HostCue* hostCue = nullptr;
    void* menu = nullptr;
    std::atomic<std::uint32_t> lastChangeTick{0};
    std::atomic<std::uint32_t> currentChannel{0};
    CurrentPath currentPath;
    ListenerList listeners;
    AudioLibrary audio;
};

// The one instance.
LibraryDatabase& Library();

}  // namespace vellum
