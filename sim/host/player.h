// Playback through the stand-in audio library's control surface: one playing channel at
// a time, positioned at the start of a cue track when the item is one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "audio_library.h"
#include "track_source.h"

namespace host {

struct NowPlaying {
    std::wstring path;
    DWORD channel = 0;
    ByteSpan span;  // the item's bytes on the channel
    uint32_t lengthSeconds = 0;
};

class Player {
public:
    explicit Player(AudioLibrary& audio) : audio_(audio) {}

    // Stops what plays and starts the path; on failure returns false with a reason.
    // With `crossfade` the item playing now keeps playing as the previous one (a
    // player fading from one track into the next) until PreviousToEnd or the next start.
    bool Start(const std::wstring& path, double urlSeconds, bool crossfade, std::string& error);
    // Moves to seconds from the item's start, or to its end.
    bool MoveTo(double seconds, std::string& error);
    bool MoveToEnd(std::string& error);
    bool Stop(std::string& error);
    // Moves the previous item of a crossfade to its end.
    bool PreviousToEnd(std::string& error);

    bool Playing() const { return current_.channel != 0; }
    const NowPlaying& Current() const { return current_; }

private:
    bool Ready(std::string& error) const;
    DWORD OpenChannel(const TrackSource& source, double urlSeconds);

    AudioLibrary& audio_;
    NowPlaying current_;
    NowPlaying previous_;
};

}  // namespace host
