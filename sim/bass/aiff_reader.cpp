// AIFF and AIFF-C: the COMM chunk gives channels, sample frames, bits and the
// sample rate (an 80-bit extended float), the SSND chunk where the samples
// begin (after its offset and block-size words) and end.
#include <algorithm>

#include "sim/bass/bass_api.h"
#include "sim/bass/media_detail.h"

namespace simbass::detail {
namespace {

// The integral part of an 80-bit IEEE extended number (the AIFF sample rate).
std::uint32_t ExtendedToRate(const std::uint8_t* p) {
    const int exponent = ((p[0] & 0x7F) << 8 | p[1]) - 16383;
    const std::uint64_t mantissa = (static_cast<std::uint64_t>(BE32(p + 2)) << 32) | BE32(p + 6);
    if ((p[0] & 0x80) || exponent < 0 || exponent > 31) return 0;
    return static_cast<std::uint32_t>(mantissa >> (63 - exponent));
}

struct Comm {
    std::uint16_t chans = 0;
    std::uint32_t frames = 0;
    std::uint16_t bits = 0;
    std::uint32_t rate = 0;
    bool supported = true;  // AIFF-C: uncompressed, byte-swapped or float samples
};

bool ReadComm(ByteSource& src, std::uint64_t body, std::uint32_t size, bool aifc, Comm* comm) {
    std::uint8_t c[22];
    if (size < 18 || !src.ReadExact(body, c, std::min<std::size_t>(size, sizeof c))) return false;
    comm->chans = BE16(c);
    comm->frames = BE32(c + 2);
    comm->bits = BE16(c + 6);
    comm->rate = ExtendedToRate(c + 8);
    if (aifc) {
        if (size < 22) return false;
        comm->supported = Is(c + 18, "NONE") || Is(c + 18, "sowt") || Is(c + 18, "twos") || Is(c + 18, "fl32") ||
                          Is(c + 18, "FL32") || Is(c + 18, "fl64") || Is(c + 18, "FL64");
    }
    return true;
}

}  // namespace

int ReadAiff(ByteSource& src, MediaInfo* info) {
    std::uint8_t h[12];
    if (!src.ReadExact(0, h, 12) || !Is(h, "FORM") || !(Is(h + 8, "AIFF") || Is(h + 8, "AIFC"))) return kNotThisFormat;
    const bool aifc = Is(h + 8, "AIFC");
    const std::uint64_t size = src.Size();
    Comm comm;
    bool haveComm = false, haveSound = false;
    std::uint64_t soundStart = 0, soundEnd = 0;
    std::uint64_t off = 12;
    for (int guard = 0; off + 8 <= size && guard < 4096; ++guard) {
        std::uint8_t ch[8];
        if (!src.ReadExact(off, ch, 8)) break;
        const std::uint32_t csize = BE32(ch + 4);
        const std::uint64_t body = off + 8;
        if (Is(ch, "COMM") && !haveComm) {
            if (!ReadComm(src, body, csize, aifc, &comm)) return SIMBASS_ERROR_FILEFORM;
            haveComm = true;
        } else if (Is(ch, "SSND") && !haveSound) {
            std::uint8_t ob[8];
            if (csize < 8 || !src.ReadExact(body, ob, 8)) return SIMBASS_ERROR_FILEFORM;
            soundStart = std::min<std::uint64_t>(body + 8 + BE32(ob), size);
            soundEnd = std::max(soundStart, std::min<std::uint64_t>(body + csize, size));
            haveSound = true;
        }
        off = body + csize + (csize & 1);
    }
    if (!haveComm || !haveSound || comm.chans == 0 || comm.rate == 0 || comm.bits == 0 || comm.bits > 64)
        return SIMBASS_ERROR_FILEFORM;
    if (!comm.supported) return SIMBASS_ERROR_CODEC;
    const std::uint64_t blockAlign = static_cast<std::uint64_t>(comm.chans) * ((comm.bits + 7u) / 8u);
    info->ctype = SIMBASS_CTYPE_STREAM_AIFF;
    info->freq = comm.rate;
    info->chans = comm.chans;
    info->origres = comm.bits;
    info->frames = std::min<std::uint64_t>(comm.frames, (soundEnd - soundStart) / blockAlign);
    info->audioStart = soundStart;
    info->audioEnd = soundEnd;
    return SIMBASS_OK;
}

}  // namespace simbass::detail
