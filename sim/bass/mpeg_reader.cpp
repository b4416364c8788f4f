// MPEG audio (Layer I, II and III) as BASS reads it: the first frame confirmed
// by the next one, a Xing/Info or VBRI frame kept outside the audio data, and
// the length from the header's frame count less the LAME header's encoder
// delay and padding, or, without such a header, from counting every frame.
#include <algorithm>
#include <cstring>
#include <vector>

#include "sim/bass/bass_api.h"
#include "sim/bass/media_detail.h"

namespace simbass::detail {
namespace {

struct MpegHeader {
    int version = 0;            // 1, 2 or 25 (MPEG-2.5)
    int layer = 0;              // 1, 2, 3
    std::uint32_t bitrate = 0;  // kbit/s
    std::uint32_t rate = 0;
    bool crc = false;
    int mode = 0;  // 3 = mono
    std::uint32_t frameSize = 0;
    std::uint32_t samples = 0;  // per frame
};

bool ParseMpegHeader(const std::uint8_t* h, MpegHeader* o) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    static const std::uint16_t kBitrates[5][16] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 L1
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 L2
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 L3
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 L1
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 L2, L3
    };
    static const std::uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const int verBits = (h[1] >> 3) & 3;    // 0 = 2.5, 1 = reserved, 2 = 2, 3 = 1
    const int layerBits = (h[1] >> 1) & 3;  // 1 = III, 2 = II, 3 = I
    const int brIndex = h[2] >> 4, srIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (verBits == 1 || layerBits == 0 || brIndex == 0 || brIndex == 15 || srIndex == 3 || (h[3] & 3) == 2)
        return false;
    o->version = verBits == 3 ? 1 : verBits == 2 ? 2 : 25;
    o->layer = 4 - layerBits;
    o->crc = (h[1] & 1) == 0;
    o->mode = h[3] >> 6;
    o->rate = kRates[o->version == 1 ? 0 : o->version == 2 ? 1 : 2][srIndex];
    int table = o->version == 1 ? o->layer - 1 : (o->layer == 1 ? 3 : 4);
    o->bitrate = kBitrates[table][brIndex];
    const std::uint32_t bps = o->bitrate * 1000;
    if (o->layer == 1) {
        o->frameSize = (12 * bps / o->rate + padding) * 4;
        o->samples = 384;
    } else if (o->layer == 2 || o->version == 1) {
        o->frameSize = 144 * bps / o->rate + padding;
        o->samples = 1152;
    } else {
        o->frameSize = 72 * bps / o->rate + padding;
        o->samples = 576;
    }
    return o->frameSize >= 4;
}

bool SameStream(const MpegHeader& a, const MpegHeader& b) {
    return a.version == b.version && a.layer == b.layer && a.rate == b.rate;
}

// The end of the audio: before an ID3v1 tag and an APEv2 tag that follow it.
std::uint64_t AudioEnd(ByteSource& src, std::uint64_t pos, MediaInfo* info) {
    std::uint64_t end = src.Size();
    if (end >= pos + 128) {
        std::uint8_t v1[128];
        if (src.ReadExact(end - 128, v1, 128) && std::memcmp(v1, "TAG", 3) == 0) {
            info->id3v1.assign(v1, v1 + 128);
            end -= 128;
        }
    }
    if (end >= pos + 32) {
        std::uint8_t ape[32];
        if (src.ReadExact(end - 32, ape, 32) && std::memcmp(ape, "APETAGEX", 8) == 0) {
            std::uint64_t total = LE32(ape + 12) + ((LE32(ape + 20) & 0x80000000u) ? 32u : 0u);
            if (total <= end - pos) end -= total;
        }
    }
    return end;
}

// The first frame within 64 KiB of `pos`, confirmed by the next header (or,
// right at `pos`, by reaching the end of the audio); false when there is none.
bool FindFirstFrame(ByteSource& src, std::uint64_t pos, std::uint64_t end, MpegHeader* first, std::uint64_t* at) {
    const std::size_t kScan = 64 * 1024;
    std::vector<std::uint8_t> window =
        src.Read(pos, static_cast<std::size_t>(std::min<std::uint64_t>(kScan + 4, end - pos)));
    for (std::size_t i = 0; i + 4 <= window.size(); ++i) {
        if (window[i] != 0xFF || !ParseMpegHeader(&window[i], first)) continue;
        const std::uint64_t next = pos + i + first->frameSize;
        bool found = i == 0;
        if (next + 4 <= end) {
            std::uint8_t nh[4];
            MpegHeader second;
            found = src.ReadExact(next, nh, 4) && ParseMpegHeader(nh, &second) && SameStream(*first, second);
        }
        if (found) {
            *at = pos + i;
            return true;
        }
    }
    return false;
}

// What the first frame says of the stream when it is a Xing/Info or VBRI frame.
struct VbrHeader {
    bool present = false;
    std::uint64_t frames = 0;          // 0 when not given
    std::uint64_t trimmedSamples = 0;  // the LAME header's encoder delay plus padding
};

// The LAME header after a Xing/Info header at `xing`: 9 bytes of encoder name,
// then at offset 21 the delay and the padding, 12 bits each.
std::uint64_t LameTrim(const std::vector<std::uint8_t>& frame, std::size_t xing, std::uint32_t flags) {
    std::size_t lame =
        xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (frame.size() < lame + 24) return 0;
    const std::uint8_t* p = &frame[lame];
    if (!Is(p, "LAME") && !Is(p, "Lavf") && !Is(p, "Lavc") && !Is(p, "L3.9")) return 0;
    const std::uint32_t delay = (static_cast<std::uint32_t>(p[21]) << 4) | (p[22] >> 4);
    const std::uint32_t padding = (static_cast<std::uint32_t>(p[22] & 0x0F) << 8) | p[23];
    return delay + padding;
}

VbrHeader ReadVbrHeader(const std::vector<std::uint8_t>& frame, const MpegHeader& first) {
    VbrHeader vbr;
    const bool mono = first.mode == 3;
    const std::size_t side = first.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::size_t xing = 4 + (first.crc ? 2 : 0) + side;
    if (frame.size() >= xing + 8 && (Is(&frame[xing], "Xing") || Is(&frame[xing], "Info"))) {
        vbr.present = true;
        const std::uint32_t flags = BE32(&frame[xing + 4]);
        if ((flags & 1) && frame.size() >= xing + 12) vbr.frames = BE32(&frame[xing + 8]);
        vbr.trimmedSamples = LameTrim(frame, xing, flags);
    } else if (frame.size() >= 36 + 18 && Is(&frame[36], "VBRI")) {
        vbr.present = true;
        vbr.frames = BE32(&frame[36 + 14]);
    }
    return vbr;
}

// Counts the whole frames of the first frame's stream from `pos` to `end`,
// reading 64 KiB at a time. Bytes that are no frame header are skipped until
// the next header of the same stream.
std::uint64_t CountFrames(ByteSource& src, std::uint64_t pos, std::uint64_t end, const MpegHeader& first) {
    constexpr std::size_t kBlock = 64 * 1024;
    std::uint64_t frames = 0;
    std::vector<std::uint8_t> block;
    std::uint64_t blockAt = 0;
    while (pos + 4 <= end) {
        if (block.empty() || pos < blockAt || pos + 4 > blockAt + block.size()) {
            blockAt = pos;
            block = src.Read(pos, static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, end - pos)));
            if (block.size() < 4) break;
        }
        MpegHeader h;
        if (ParseMpegHeader(&block[pos - blockAt], &h) && SameStream(h, first)) {
            if (pos + h.frameSize > end) break;  // a cut last frame is not decoded
            ++frames;
            pos += h.frameSize;
        } else {
            ++pos;
        }
    }
    return frames;
}

}  // namespace

int ReadMpeg(ByteSource& src, std::uint64_t pos, MediaInfo* info) {
    const std::uint64_t end = AudioEnd(src, pos, info);
    if (end <= pos) return SIMBASS_ERROR_FILEFORM;
    MpegHeader first;
    std::uint64_t frameOff = 0;
    if (!FindFirstFrame(src, pos, end, &first, &frameOff)) return SIMBASS_ERROR_FILEFORM;

    info->freq = first.rate;
    info->chans = first.mode == 3 ? 1 : 2;
    info->ctype = first.layer == 3   ? SIMBASS_CTYPE_STREAM_MP3
                  : first.layer == 2 ? SIMBASS_CTYPE_STREAM_MP2
                                     : SIMBASS_CTYPE_STREAM_MP1;
    info->origres = 0;

    const std::vector<std::uint8_t> frame =
        src.Read(frameOff, static_cast<std::size_t>(std::min<std::uint64_t>(first.frameSize, end - frameOff)));
    const VbrHeader vbr = ReadVbrHeader(frame, first);
    info->audioStart = vbr.present ? frameOff + first.frameSize : frameOff;
    info->audioEnd = end;
    if (vbr.frames > 0) {
        const std::uint64_t samples = vbr.frames * first.samples;
        info->frames = samples > vbr.trimmedSamples ? samples - vbr.trimmedSamples : 0;
    } else {
        info->frames = CountFrames(src, info->audioStart, end, first) * first.samples;
    }
    return SIMBASS_OK;
}

}  // namespace simbass::detail
