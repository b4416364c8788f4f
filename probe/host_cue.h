// The host player's cue interface, seen through a portable view. On Windows an
// adapter reads the host's record of 32-bit words (version 39: word 2 text
// flag, word 3 open track, word 4 release, word 7 title) and the host-owned
// track records; tests supply their own.
#pragma once

#include <cstdint>

namespace vellum {

// What the host reports for a cue-sheet track or another host-resolved track.
struct CueTrackInfo {
    std::uint32_t channel;  // the audio channel on the track's audio file
    std::uint64_t start;    // the track's start, bytes
    std::uint64_t length;   // the track's length, bytes
};

class HostCue {
public:
    virtual ~HostCue() = default;
    // Word 2: true when the host's texts are UTF-16, false for the ANSI code page.
    virtual bool WideText() const noexcept = 0;
    // Word 3: `path` is a zero-terminated text in the encoding of WideText.
    // Returns the host's track record, or null for a path the host does not know.
    virtual const void* OpenTrack(void* path) noexcept = 0;
    // Word 4: hands a record from OpenTrack back to the host.
    virtual void ReleaseTrack(const void* record) noexcept = 0;
    // Word 7: the display title for a writable copy of the path, in the encoding
    // of WideText. The text is the host's: read it at once, never free it.
    virtual const void* Title(void* path) noexcept = 0;
    // Reads a record from OpenTrack, by the layout that WideText selects.
    virtual CueTrackInfo ReadTrack(const void* record) const noexcept = 0;
};

// A track record from OpenTrack, handed back to the host at scope end.
class HostTrackLease {
public:
    HostTrackLease(HostCue& host, const void* track) noexcept : host_(host), track_(track) {}
    ~HostTrackLease() {
        if (track_ != nullptr) host_.ReleaseTrack(track_);
    }
    HostTrackLease(const HostTrackLease&) = delete;
    HostTrackLease& operator=(const HostTrackLease&) = delete;

private:
    HostCue& host_;
    const void* track_;
};

}  // namespace vellum
