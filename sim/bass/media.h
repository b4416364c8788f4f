// The stand-in's file readers: RIFF WAVE, AIFF, FLAC, Ogg Vorbis, MPEG audio
// (with ID3v2/ID3v1/APE, Xing/Info/VBRI and the LAME header) and ProTracker
// modules. They learn what BASS reports about a
// channel (rate, channels, type, length) and keep the raw tag blocks that
// BASS_ChannelGetTags hands out. Portable C++; every read is bounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/bass/byte_source.h"

namespace simbass {

struct MediaInfo {
    std::uint32_t freq = 0;
    std::uint32_t chans = 0;
    std::uint32_t ctype = 0;
    std::uint32_t origres = 0;
    std::uint64_t frames = 0;      // decoded sample frames
    std::uint64_t audioStart = 0;  // first byte of audio data in the source
    std::uint64_t audioEnd = 0;    // the byte after the audio data (trailing tags and chunks outside)
    // Raw tag blocks, empty when absent.
    std::vector<std::uint8_t> id3v2;  // whole tag; its size field matches what is kept
    std::vector<std::uint8_t> id3v1;  // the 128-byte "TAG" block
    std::string vorbis;     // "NAME=value" strings, each zero-terminated (list ends with the std::string's own zero)
    std::string riffInfo;   // "INAM=value" strings in the same form
    std::string musicName;  // module song name, trailing zeros and spaces cut
};

// Largest ID3v2 block / comment block kept in memory.
constexpr std::uint64_t kMaxTagBlock = 16u << 20;

// Reads a stream file (WAV, AIFF, FLAC, Ogg Vorbis, MPEG audio). Returns a BASS error code: 0 when
// `info` is filled, SIMBASS_ERROR_FILEFORM for an unknown or broken file,
// SIMBASS_ERROR_CODEC for a WAV codec that is not PCM or IEEE float. Tracker
// modules are never read as streams.
int ReadStream(ByteSource& src, MediaInfo* info);
// Reads a tracker module (ProTracker MOD family); `freq` 0 means 44100 Hz.
int ReadMusic(ByteSource& src, std::uint32_t freq, MediaInfo* info);
// True when the source carries a module signature that ReadMusic accepts.
bool LooksLikeModule(ByteSource& src);

// Size of an ID3v2 tag (header, body and footer) from its first 10 bytes; 0 when
// they are no ID3v2 header.
std::uint64_t Id3v2TagSize(const std::uint8_t* header10);

}  // namespace simbass
