#include "player.h"

#include <cmath>

#include "text.h"

namespace host {

bool Player::Ready(std::string& error) const {
    if (audio_.CanPlay()) return true;
    error = "playback needs bass.dll with the SIMBASS control surface";
    return false;
}

DWORD Player::OpenChannel(const TrackSource& source, double urlSeconds) {
    if (source.kind == TrackPathKind::Url) return audio_.playUrl(source.audio.c_str(), urlSeconds);
    return audio_.playFile(source.audio.c_str());
}

bool Player::Start(const std::wstring& path, double urlSeconds, bool crossfade, std::string& error) {
    if (!Ready(error)) return false;
    if (previous_.channel != 0) audio_.stop(previous_.channel);
    previous_ = NowPlaying();
    if (crossfade) {
        previous_ = current_;
    } else if (current_.channel != 0) {
        audio_.stop(current_.channel);
    }
    current_ = NowPlaying();
    auto source = ResolveTrackSource(path);
    DWORD channel = source ? OpenChannel(*source, urlSeconds) : 0;
    if (channel == 0) {
        error = "cannot play " + Utf8FromWide(path);
        return false;
    }
    current_.path = path;
    current_.channel = channel;
    current_.span = SpanOnChannel(audio_, channel, *source);
    if (source->kind == TrackPathKind::CueTrack) audio_.setPosition(channel, current_.span.start);
    double seconds = audio_.bytes2Seconds(channel, current_.span.length);
    current_.lengthSeconds = seconds > 0 ? static_cast<uint32_t>(std::floor(seconds)) : 0;
    return true;
}

bool Player::MoveTo(double seconds, std::string& error) {
    if (!Ready(error)) return false;
    if (!Playing()) {
        error = "nothing is playing";
        return false;
    }
    QWORD offset = seconds > 0 ? audio_.seconds2Bytes(current_.channel, seconds) : 0;
    audio_.setPosition(current_.channel, current_.span.start + offset);
    return true;
}

bool Player::MoveToEnd(std::string& error) {
    if (!Ready(error)) return false;
    if (!Playing()) {
        error = "nothing is playing";
        return false;
    }
    audio_.setPosition(current_.channel, current_.span.start + current_.span.length);
    return true;
}

bool Player::Stop(std::string& error) {
    if (!Ready(error)) return false;
    if (!Playing()) {
        error = "nothing is playing";
        return false;
    }
    audio_.stop(current_.channel);
    current_ = NowPlaying();
    return true;
}

bool Player::PreviousToEnd(std::string& error) {
    if (!Ready(error)) return false;
    if (previous_.channel == 0) {
        error = "no previous item is playing";
        return false;
    }
    audio_.setPosition(previous_.channel, previous_.span.start + previous_.span.length);
    return true;
}

}  // namespace host
