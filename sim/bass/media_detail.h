// What the stand-in's file readers share among themselves: byte-order helpers,
// the Vorbis comment parser (FLAC and Ogg) and the readers that live in files of
// their own. Internal to sim/bass; media.h is the readers' public face.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/bass/byte_source.h"
#include "sim/bass/media.h"

namespace simbass::detail {

// A reader's answer for a source that is not its format at all (the next
// reader is tried), as opposed to a BASS error for a broken file of its format.
constexpr int kNotThisFormat = -1;

inline std::uint16_t LE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t LE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t LE64(const std::uint8_t* p) { return LE32(p) | (static_cast<std::uint64_t>(LE32(p + 4)) << 32); }
inline std::uint16_t BE16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
inline std::uint32_t BE24(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
}
inline std::uint32_t BE32(const std::uint8_t* p) { return (static_cast<std::uint32_t>(p[0]) << 24) | BE24(p + 1); }
inline bool Is(const std::uint8_t* p, const char* tag4) { return std::memcmp(p, tag4, 4) == 0; }

// Appends the "NAME=value" comments of a Vorbis comment block (vendor string,
// count, length-prefixed strings), each zero-terminated, to `out`.
void ParseVorbisComments(const std::vector<std::uint8_t>& block, std::string* out);

// MPEG audio from `pos` (after any ID3v2 tags); trailing ID3v1 and APE tags
// are left outside the audio data.
int ReadMpeg(ByteSource& src, std::uint64_t pos, MediaInfo* info);
// AIFF and AIFF-C with uncompressed or byte-swapped PCM or float samples.
int ReadAiff(ByteSource& src, MediaInfo* info);
// Ogg Vorbis: the first logical stream's identification and comment headers,
// its length from the last page's granule position.
int ReadOgg(ByteSource& src, MediaInfo* info);

}  // namespace simbass::detail
