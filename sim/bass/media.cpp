#include "sim/bass/media.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "sim/bass/bass_api.h"
#include "sim/bass/media_detail.h"

namespace simbass {

using namespace detail;

void detail::ParseVorbisComments(const std::vector<std::uint8_t>& v, std::string* out) {
    std::size_t p = 0;
    if (v.size() < 4) return;
    std::uint32_t vendor = LE32(v.data());
    if (vendor > v.size() - 4) return;
    p = 4 + static_cast<std::size_t>(vendor);
    if (v.size() - p < 4) return;
    std::uint32_t count = LE32(v.data() + p);
    p += 4;
    for (std::uint32_t i = 0; i < count && v.size() - p >= 4; ++i) {
        std::uint32_t len = LE32(v.data() + p);
        p += 4;
        if (len > v.size() - p) break;
        const char* s = reinterpret_cast<const char*>(v.data() + p);
        std::size_t n = 0;
        while (n < len && s[n] != 0) ++n;
        if (std::memchr(s, '=', n)) {
            out->append(s, n);
            *out += '\0';
        }
        p += len;
    }
}

namespace {

// ---------------------------------------------------------------- ID3v2 blocks

// Keeps the ID3v2 tag at `pos` (of `size` bytes), cut to what the source holds
// and to kMaxTagBlock; a cut block gets its size field rewritten to match.
void KeepId3v2(ByteSource& src, std::uint64_t pos, std::uint64_t size, MediaInfo* info) {
    std::uint64_t avail = src.Size() > pos ? src.Size() - pos : 0;
    std::uint64_t keep = std::min({size, avail, kMaxTagBlock});
    if (keep < 10) return;
    std::vector<std::uint8_t> block = src.Read(pos, static_cast<std::size_t>(keep));
    if (block.size() < 10) return;
    if (block.size() < size) {
        std::uint32_t body = static_cast<std::uint32_t>(block.size() - 10);
        block[5] &= static_cast<std::uint8_t>(~0x10u);  // no footer in a cut block
        block[6] = static_cast<std::uint8_t>((body >> 21) & 0x7F);
        block[7] = static_cast<std::uint8_t>((body >> 14) & 0x7F);
        block[8] = static_cast<std::uint8_t>((body >> 7) & 0x7F);
        block[9] = static_cast<std::uint8_t>(body & 0x7F);
    }
    info->id3v2 = std::move(block);
}

// Skips the ID3v2 tags at `pos`, keeping the first; returns the offset after them.
std::uint64_t SkipId3v2(ByteSource& src, std::uint64_t pos, MediaInfo* info) {
    for (int i = 0; i < 8; ++i) {
        std::uint8_t h[10];
        if (!src.ReadExact(pos, h, 10)) break;
        std::uint64_t size = Id3v2TagSize(h);
        if (size == 0) break;
        if (info->id3v2.empty()) KeepId3v2(src, pos, size, info);
        pos += size;
    }
    return pos;
}

// ------------------------------------------------------------------ RIFF WAVE

void ReadInfoList(ByteSource& src, std::uint64_t pos, std::uint64_t end, MediaInfo* info) {
    for (int guard = 0; pos + 8 <= end && guard < 1024; ++guard) {
        std::uint8_t h[8];
        if (!src.ReadExact(pos, h, 8)) return;
        std::uint32_t len = LE32(h + 4);
        std::uint64_t body = pos + 8;
        std::uint64_t n = std::min<std::uint64_t>({len, end - body, 65536});
        std::vector<std::uint8_t> text = src.Read(body, static_cast<std::size_t>(n));
        bool printableId = true;
        for (int k = 0; k < 4; ++k) printableId = printableId && h[k] >= 0x20 && h[k] < 0x7F && h[k] != '=';
        if (printableId) {
            std::size_t cut = 0;
            while (cut < text.size() && text[cut] != 0) ++cut;
            info->riffInfo.append(reinterpret_cast<const char*>(h), 4);
            info->riffInfo += '=';
            info->riffInfo.append(reinterpret_cast<const char*>(text.data()), cut);
            info->riffInfo += '\0';
        }
        pos = body + len + (len & 1);
    }
}

int ReadWav(ByteSource& src, MediaInfo* info) {
    std::uint8_t h[12];
    if (!src.ReadExact(0, h, 12) || !Is(h, "RIFF") || !Is(h + 8, "WAVE")) return kNotThisFormat;
    const std::uint64_t size = src.Size();
    std::uint8_t fmt[40] = {};
    std::size_t fmtLen = 0;
    bool haveFmt = false, haveData = false;
    std::uint64_t dataOff = 0, dataSize = 0;
    std::uint64_t off = 12;
    for (int guard = 0; off + 8 <= size && guard < 4096; ++guard) {
        std::uint8_t ch[8];
        if (!src.ReadExact(off, ch, 8)) break;
        const std::uint32_t csize = LE32(ch + 4);
        const std::uint64_t body = off + 8;
        const std::uint64_t avail = size - body;
        if (Is(ch, "fmt ") && !haveFmt) {
            fmtLen = static_cast<std::size_t>(std::min<std::uint64_t>({csize, avail, sizeof fmt}));
            if (fmtLen < 16 || !src.ReadExact(body, fmt, fmtLen)) return SIMBASS_ERROR_FILEFORM;
            haveFmt = true;
        } else if (Is(ch, "data") && !haveData) {
            dataOff = body;
            dataSize = std::min<std::uint64_t>(csize, avail);
            haveData = true;
            if (csize > avail) break;  // cut file or unknown length: the data runs to the end
        } else if (Is(ch, "LIST") && csize >= 4 && avail >= 4) {
            std::uint8_t type[4];
            if (src.ReadExact(body, type, 4) && Is(type, "INFO") && info->riffInfo.empty())
                ReadInfoList(src, body + 4, body + std::min<std::uint64_t>(csize, avail), info);
        } else if ((Is(ch, "id3 ") || Is(ch, "ID3 ")) && info->id3v2.empty()) {
            WindowSource tag(src, body, std::min<std::uint64_t>(csize, avail));
            SkipId3v2(tag, 0, info);
        }
        off = body + csize + (csize & 1);
    }
    if (!haveFmt || !haveData) return SIMBASS_ERROR_FILEFORM;

    std::uint16_t tag = LE16(fmt);
    const std::uint16_t chans = LE16(fmt + 2);
    const std::uint32_t rate = LE32(fmt + 4);
    const std::uint16_t blockAlign = LE16(fmt + 12);
    std::uint16_t bits = LE16(fmt + 14);
    if (tag == 0xFFFE) {  // WAVE_FORMAT_EXTENSIBLE: the sub-format decides
        if (fmtLen < 40) return SIMBASS_ERROR_FILEFORM;
        tag = LE16(fmt + 24);
        if (LE16(fmt + 18) != 0) bits = LE16(fmt + 18);  // valid bits per sample
    }
    if (chans == 0 || rate == 0 || blockAlign == 0 || blockAlign % chans != 0) return SIMBASS_ERROR_FILEFORM;
    const unsigned container = blockAlign * 8u / chans;
    if (tag == 1) {
        if ((container != 8 && container != 16 && container != 24 && container != 32) || bits == 0 || bits > container)
            return SIMBASS_ERROR_FORMAT;
        info->ctype = SIMBASS_CTYPE_STREAM_WAV_PCM;
    } else if (tag == 3) {
        if (container != 32 && container != 64) return SIMBASS_ERROR_FORMAT;
        info->ctype = SIMBASS_CTYPE_STREAM_WAV_FLOAT;
    } else {
        return SIMBASS_ERROR_CODEC;
    }
    info->freq = rate;
    info->chans = chans;
    info->origres = bits;
    info->frames = dataSize / blockAlign;
    info->audioStart = dataOff;
    info->audioEnd = dataOff + dataSize;
    return SIMBASS_OK;
}

// ----------------------------------------------------------------------- FLAC

int ReadFlac(ByteSource& src, std::uint64_t pos, MediaInfo* info) {
    std::uint8_t magic[4];
    if (!src.ReadExact(pos, magic, 4) || !Is(magic, "fLaC")) return kNotThisFormat;
    pos += 4;
    const std::uint64_t size = src.Size();
    bool haveInfo = false;
    for (int i = 0; i < 4096; ++i) {
        std::uint8_t bh[4];
        if (!src.ReadExact(pos, bh, 4)) return SIMBASS_ERROR_FILEFORM;
        const bool last = (bh[0] & 0x80) != 0;
        const int type = bh[0] & 0x7F;
        const std::uint32_t len = BE24(bh + 1);
        const std::uint64_t body = pos + 4;
        if (len > size - body) return SIMBASS_ERROR_FILEFORM;    // cut metadata
        if (i == 0 && type != 0) return SIMBASS_ERROR_FILEFORM;  // STREAMINFO comes first
        if (type == 127) return SIMBASS_ERROR_FILEFORM;
        if (type == 0 && !haveInfo) {
            std::uint8_t si[34];
            if (len < 34 || !src.ReadExact(body, si, 34)) return SIMBASS_ERROR_FILEFORM;
            info->freq = (static_cast<std::uint32_t>(si[10]) << 12) | (si[11] << 4) | (si[12] >> 4);
            info->chans = ((si[12] >> 1) & 7) + 1u;
            info->origres = (((si[12] & 1u) << 4) | (si[13] >> 4)) + 1u;
            info->frames = (static_cast<std::uint64_t>(si[13] & 0x0F) << 32) | BE32(si + 14);
            haveInfo = true;
        } else if (type == 4 && info->vorbis.empty() && len <= kMaxTagBlock) {
            ParseVorbisComments(src.Read(body, len), &info->vorbis);
        }
        pos = body + len;
        if (last) break;
    }
    if (!haveInfo || info->freq == 0) return SIMBASS_ERROR_FILEFORM;
    info->ctype = SIMBASS_CTYPE_STREAM_FLAC;
    info->audioStart = pos;
    info->audioEnd = size;
    return SIMBASS_OK;
}

// -------------------------------------------------------------- ProTracker MOD

int ModChannels(const std::uint8_t* s) {
    auto digit = [](std::uint8_t c) { return c >= '0' && c <= '9'; };
    if (Is(s, "M.K.") || Is(s, "M!K!") || Is(s, "M&K!") || Is(s, "FLT4") || Is(s, "N.T.")) return 4;
    if (Is(s, "FLT8") || Is(s, "CD81") || Is(s, "OKTA") || Is(s, "OCTA")) return 8;
    if (digit(s[0]) && s[1] == 'C' && s[2] == 'H' && s[3] == 'N') return s[0] - '0';
    if (digit(s[0]) && digit(s[1]) && s[2] == 'C' && (s[3] == 'H' || s[3] == 'N')) {
        int n = (s[0] - '0') * 10 + (s[1] - '0');
        return n >= 1 && n <= 32 ? n : 0;
    }
    if (s[0] == 'T' && s[1] == 'D' && s[2] == 'Z' && s[3] >= '1' && s[3] <= '9') return s[3] - '0';
    return 0;
}

// Plays the order list through (speed 6, 125 BPM at the start; Fxx, Bxx, Dxx,
// E6x and EEx obeyed) until it ends or loops, and returns the sample frames.
std::uint64_t ModLength(const std::uint8_t* orders, int songLength, const std::vector<std::uint8_t>& patterns,
                        int channels, std::uint32_t freq) {
    const std::size_t rowBytes = static_cast<std::size_t>(channels) * 4;
    const std::size_t patternBytes = rowBytes * 64;
    double samples = 0;
    int speed = 6, bpm = 125;
    int order = 0, row = 0;
    bool entering = true;
    std::set<std::pair<int, int>> visited;
    std::vector<int> loopRow(channels, 0), loopCount(channels, 0);
    for (long guard = 0; order < songLength && guard < (1L << 20); ++guard) {
        if (entering) {
            if (!visited.insert({order, row}).second) break;  // the song loops
            entering = false;
            std::fill(loopRow.begin(), loopRow.end(), 0);
        }
        const std::size_t at = orders[order] * patternBytes + static_cast<std::size_t>(row) * rowBytes;
        if (at + rowBytes > patterns.size()) break;
        const std::uint8_t* cells = &patterns[at];
        int breakRow = -1, jumpOrder = -1, loopTo = -1, delay = -1;
        bool stop = false;
        for (int c = 0; c < channels; ++c) {
            const int effect = cells[c * 4 + 2] & 0x0F;
            const int param = cells[c * 4 + 3];
            switch (effect) {
                case 0xF:
                    if (param == 0) stop = true;
                    else if (param < 32) speed = param;
                    else bpm = param;
                    break;
                case 0xB: jumpOrder = param; break;
                case 0xD:
                    breakRow = (param >> 4) * 10 + (param & 0x0F);
                    if (breakRow > 63) breakRow = 0;
                    break;
                case 0xE: {
                    const int sub = param >> 4, x = param & 0x0F;
                    if (sub == 6) {
                        if (x == 0) {
                            loopRow[c] = row;
                        } else if (loopCount[c] == 0) {
                            loopCount[c] = x;
                            loopTo = loopRow[c];
                        } else if (--loopCount[c] > 0) {
                            loopTo = loopRow[c];
                        }
                    } else if (sub == 0xE && delay < 0) {
                        delay = x;
                    }
                    break;
                }
                default: break;
            }
        }
        if (stop) break;
        samples += static_cast<double>(speed) * (1 + (delay > 0 ? delay : 0)) * freq * 2.5 / bpm;
        if (loopTo >= 0) {
            row = loopTo;
        } else if (jumpOrder >= 0 || breakRow >= 0) {
            order = jumpOrder >= 0 ? jumpOrder : order + 1;
            row = breakRow >= 0 ? breakRow : 0;
            entering = true;
        } else if (++row >= 64) {
            ++order;
            row = 0;
            entering = true;
        }
    }
    return static_cast<std::uint64_t>(samples);
}

}  // namespace

std::uint64_t Id3v2TagSize(const std::uint8_t* h) {
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] == 0xFF || h[4] == 0xFF) return 0;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
    std::uint64_t size = (static_cast<std::uint64_t>(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
    size += 10;
    if (h[3] >= 4 && (h[5] & 0x10)) size += 10;
    return size;
}

bool LooksLikeModule(ByteSource& src) {
    std::uint8_t sig[4];
    return src.Size() >= 1084 && src.ReadExact(1080, sig, 4) && ModChannels(sig) > 0;
}

int ReadStream(ByteSource& src, MediaInfo* info) {
    *info = MediaInfo();
    for (int (*reader)(ByteSource&, MediaInfo*) : {ReadWav, ReadAiff, ReadOgg}) {
        const int r = reader(src, info);
        if (r != kNotThisFormat) return r;
        *info = MediaInfo();
    }
    const std::uint64_t pos = SkipId3v2(src, 0, info);
    const int r = ReadFlac(src, pos, info);
    if (r != kNotThisFormat) return r;
    // A module is never a stream (its sample data could pass for MPEG frames).
    if (pos == 0 && LooksLikeModule(src)) return SIMBASS_ERROR_FILEFORM;
    return ReadMpeg(src, pos, info);
}

int ReadMusic(ByteSource& src, std::uint32_t freq, MediaInfo* info) {
    *info = MediaInfo();
    std::uint8_t h[1084];
    if (!src.ReadExact(0, h, sizeof h)) return SIMBASS_ERROR_FILEFORM;
    const int channels = ModChannels(h + 1080);
    const int songLength = h[950];
    if (channels == 0 || songLength == 0 || songLength > 128) return SIMBASS_ERROR_FILEFORM;
    int maxPattern = 0;
    for (int i = 0; i < songLength; ++i) maxPattern = std::max<int>(maxPattern, h[952 + i]);
    const std::size_t patternBytes = static_cast<std::size_t>(channels) * 4 * 64;
    const std::size_t need = patternBytes * (maxPattern + 1);
    if (src.Size() < 1084 + need) return SIMBASS_ERROR_FILEFORM;  // cut pattern data
    std::vector<std::uint8_t> patterns = src.Read(1084, need);
    if (patterns.size() != need) return SIMBASS_ERROR_FILEFORM;

    std::size_t n = 0;
    while (n < 20 && h[n] != 0) ++n;
    while (n > 0 && h[n - 1] == ' ') --n;
    info->musicName.assign(reinterpret_cast<const char*>(h), n);
    info->freq = freq ? freq : 44100;
    info->chans = 2;
    info->ctype = SIMBASS_CTYPE_MUSIC_MOD;
    info->origres = 0;
    info->frames = ModLength(h + 952, songLength, patterns, channels, info->freq);
    info->audioStart = 0;
    return SIMBASS_OK;
}

}  // namespace simbass
