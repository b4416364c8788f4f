// Builders of small, valid media files for the stand-in audio library's tests
// and for the sample set that sim_make_samples writes: RIFF WAVE (PCM, float,
// LIST/INFO), AIFF, FLAC (constant and verbatim subframes, VORBIS_COMMENT),
// MPEG-1/2/2.5 Layer III (silent frames; CBR, Xing, Info or VBRI, a LAME header;
// ID3v2.2/2.3/2.4, APEv2 and ID3v1), ProTracker MOD and a cue sheet.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace simsamples {

using Bytes = std::vector<std::uint8_t>;

struct WavSpec {
    std::uint32_t rate = 44100;
    std::uint16_t channels = 2;
    std::uint16_t bits = 16;  // 8, 16, 24, 32 (PCM) or 32, 64 (float)
    bool isFloat = false;
    bool extensible = false;      // WAVE_FORMAT_EXTENSIBLE
    std::uint16_t formatTag = 0;  // overrides the format tag when non-zero
    std::uint32_t frames = 44100;
    double toneHz = 440.0;
    std::vector<std::pair<std::string, std::string>> info;  // LIST/INFO items, e.g. {"INAM", "Title"}
    bool infoFirst = false;                                 // LIST (and an odd-sized junk chunk) before "fmt "
};
Bytes MakeWav(const WavSpec& spec);

// AIFF as sox writes it without its comment chunk: FORM, COMM, SSND (offset 0),
// big-endian PCM of a tone.
struct AiffSpec {
    std::uint32_t rate = 44100;
    std::uint16_t channels = 2;
    std::uint16_t bits = 16;  // 8, 16, 24 or 32
    std::uint32_t frames = 44100;
};
Bytes MakeAiff(const AiffSpec& spec);

struct FlacSpec {
    std::uint32_t rate = 44100;
    std::uint8_t channels = 2;
    std::uint8_t bits = 16;
    std::uint64_t frames = 44100;
    std::uint32_t blockSize = 4096;
    std::string vendor = "vellumdb sample generator";
    std::vector<std::string> comments;  // "NAME=value"
    bool leadingId3 = false;            // an ID3v2 tag before "fLaC"
};
Bytes MakeFlac(const FlacSpec& spec);

struct Id3Frame {
    std::string id;           // "TIT2", "COMM", ... (3 letters for v2.2)
    std::string text;         // UTF-8
    int encoding = 3;         // 0 ISO-8859-1, 1 UTF-16 with BOM, 2 UTF-16BE, 3 UTF-8
    std::string description;  // COMM only
    std::string language = "eng";
    Bytes raw;                     // when non-empty: the frame body as it is (text ignored)
    std::uint8_t formatFlags = 0;  // the second flag byte of a v2.3/v2.4 frame header, as it is
};
// A text frame ("TIT2", ...) and a comment frame.
Id3Frame TextFrame(const std::string& id, const std::string& text, int encoding = 3);
Id3Frame CommentFrame(const std::string& description, const std::string& text, int encoding = 3);

struct Id3Spec {
    int version = 3;  // 2, 3 or 4
    std::vector<Id3Frame> frames;
    bool unsync = false;  // unsynchronisation (whole tag in v2.3, per frame in v2.4)
    bool extendedHeader = false;
    bool footer = false;          // v2.4 only
    bool plainSizesIn24 = false;  // v2.4 frame sizes written as plain integers (a common writer bug)
    std::size_t padding = 16;
};
Bytes MakeId3v2(const Id3Spec& spec);
// A 128-byte ID3v1.1 block.
Bytes MakeId3v1(const std::string& title, const std::string& artist, const std::string& album, const std::string& year,
                const std::string& comment, int track, int genre);

struct Mp3Spec {
    int version = 1;  // 1, 2 or 25 (MPEG-2.5)
    std::uint32_t rate = 44100;
    bool mono = false;
    std::uint32_t bitrate = 128;             // kbit/s of every frame (CBR) or of the header frame
    std::vector<std::uint32_t> vbrBitrates;  // cycled through for the audio frames when non-empty
    std::uint32_t frames = 100;              // audio frames, header frame not counted
    enum Header { kNone, kXing, kInfo, kVbri } header = kNone;
    // With a Xing or Info header: a LAME header after it, with this encoder delay
    // and padding in samples, when the delay is not negative.
    int lameDelay = -1;
    int lamePadding = 0;
    Bytes id3v2;          // put before the audio
    bool apeTag = false;  // an empty APEv2 tag (footer only) after the audio
    Bytes id3v1;          // put after it
};
Bytes MakeMp3(const Mp3Spec& spec);
// Samples per Layer III frame: 1152 for MPEG-1, 576 for MPEG-2 and 2.5.
std::uint32_t Mp3SamplesPerFrame(int version);

struct ModCell {
    int pattern, row, channel;
    std::uint8_t sample;
    std::uint16_t period;
    std::uint8_t effect, param;
};
struct ModSpec {
    std::string title = "vellumdb sample";
    std::vector<std::uint8_t> orders = {0};
    std::vector<ModCell> cells;
    std::string signature = "M.K.";
    int channels = 4;
};
Bytes MakeMod(const ModSpec& spec);

struct SampleFile {
    std::string name;
    Bytes data;
};
// The sample media set: pcm16_stereo.wav, float_mono.wav, mono.aiff, tagged.flac,
// cbr_id3v23.mp3, vbr_xing_id3v24.mp3, sample.mod, album.wav and album.cue.
std::vector<SampleFile> MakeSampleSet();
// Writes the sample set into `folder` (which must exist); false on a write error.
bool WriteSampleSet(const std::string& folder, std::string* error);

}  // namespace simsamples
