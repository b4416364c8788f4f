#include "sim/samples/sample_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/bass/text_util.h"

namespace simsamples {
namespace {

const double kPi = 3.14159265358979323846;

void Put16LE(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32LE(Bytes& b, std::uint32_t v) {
    Put16LE(b, v & 0xFFFF);
    Put16LE(b, v >> 16);
}
void Put16BE(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
void Put32BE(Bytes& b, std::uint32_t v) {
    Put16BE(b, v >> 16);
    Put16BE(b, v & 0xFFFF);
}
void PutSyncsafe(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>((v >> 21) & 0x7F));
    b.push_back(static_cast<std::uint8_t>((v >> 14) & 0x7F));
    b.push_back(static_cast<std::uint8_t>((v >> 7) & 0x7F));
    b.push_back(static_cast<std::uint8_t>(v & 0x7F));
}
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// ---------------------------------------------------------------------- WAV

void PutChunk(Bytes& out, const char* id, const Bytes& body) {
    PutText(out, std::string(id, 4));
    Put32LE(out, static_cast<std::uint32_t>(body.size()));
    Append(out, body);
    if (body.size() & 1) out.push_back(0);
}

// ---------------------------------------------------------------------- FLAC

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void Put(std::uint64_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((value >> i) & 1));
            if (++count_ == 8) {
                out_.push_back(acc_);
                acc_ = 0;
                count_ = 0;
            }
        }
    }
    void Align() {
        while (count_ != 0) Put(0, 1);
    }

private:
    Bytes& out_;
    std::uint8_t acc_ = 0;
    int count_ = 0;
};

std::uint8_t Crc8(const std::uint8_t* p, std::size_t n) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t Crc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= static_cast<std::uint16_t>(p[i] << 8);
        for (int k = 0; k < 8; ++k) crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

void PutUtf8Number(Bytes& b, std::uint64_t v) {
    if (v < 0x80) {
        b.push_back(static_cast<std::uint8_t>(v));
        return;
    }
    int extra = v < 0x800 ? 1 : v < 0x10000 ? 2 : v < 0x200000 ? 3 : v < 0x4000000 ? 4 : v < 0x80000000ull ? 5 : 6;
    static const std::uint8_t kLead[7] = {0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};
    b.push_back(static_cast<std::uint8_t>(kLead[extra] | (extra < 6 ? (v >> (6 * extra)) : 0)));
    for (int i = extra - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(0x80 | ((v >> (6 * i)) & 0x3F)));
}

int FlacBlockSizeCode(std::uint32_t n) {
    if (n == 192) return 1;
    for (int k = 2; k <= 5; ++k)
        if (n == (576u << (k - 2))) return k;
    for (int k = 8; k <= 15; ++k)
        if (n == (256u << (k - 8))) return k;
    return n <= 256 ? 6 : 7;
}

int FlacRateCode(std::uint32_t rate) {
    switch (rate) {
        case 88200: return 1;
        case 176400: return 2;
        case 192000: return 3;
        case 8000: return 4;
        case 16000: return 5;
        case 22050: return 6;
        case 24000: return 7;
        case 32000: return 8;
        case 44100: return 9;
        case 48000: return 10;
        case 96000: return 11;
        default: return 0;  // from STREAMINFO
    }
}

int FlacSampleSizeCode(int bits) {
    switch (bits) {
        case 8: return 1;
        case 12: return 2;
        case 16: return 4;
        case 20: return 5;
        case 24: return 6;
        default: return 0;  // from STREAMINFO
    }
}

// One frame: constant zero subframes, or (verbatim) a small ramp.
Bytes FlacFrame(const FlacSpec& s, std::uint64_t number, std::uint32_t n, bool verbatim) {
    Bytes f = {0xFF, 0xF8};
    const int bsCode = FlacBlockSizeCode(n);
    f.push_back(static_cast<std::uint8_t>((bsCode << 4) | FlacRateCode(s.rate)));
    f.push_back(static_cast<std::uint8_t>(((s.channels - 1) << 4) | (FlacSampleSizeCode(s.bits) << 1)));
    PutUtf8Number(f, number);
    if (bsCode == 6) f.push_back(static_cast<std::uint8_t>(n - 1));
    if (bsCode == 7) Put16BE(f, n - 1);
    f.push_back(Crc8(f.data(), f.size()));
    BitWriter w(f);
    for (int c = 0; c < s.channels; ++c) {
        if (verbatim) {
            w.Put(0x02, 8);  // zero bit, type 000001 (verbatim), no wasted bits
            for (std::uint32_t i = 0; i < n; ++i) {
                std::int64_t v = static_cast<std::int64_t>((i * 37 + c * 11) % 64) - 32;
                w.Put(static_cast<std::uint64_t>(v) & ((1ull << s.bits) - 1), s.bits);
            }
        } else {
            w.Put(0x00, 8);  // type 000000 (constant)
            w.Put(0, s.bits);
        }
    }
    w.Align();
    std::uint16_t crc = Crc16(f.data(), f.size());
    Put16BE(f, crc);
    return f;
}

// ----------------------------------------------------------------------- ID3

Bytes EncodeId3Text(int encoding, const std::string& utf8, bool terminate) {
    Bytes out;
    if (encoding == 1 || encoding == 2) {
        std::u16string u = simbass::Utf8ToUtf16(utf8);
        if (encoding == 1) out = {0xFF, 0xFE};
        for (char16_t c : u) {
            if (encoding == 1) Put16LE(out, c);
            else Put16BE(out, c);
        }
        if (terminate) out.insert(out.end(), {0, 0});
    } else if (encoding == 0) {
        std::u16string u = simbass::Utf8ToUtf16(utf8);
        for (char16_t c : u) out.push_back(static_cast<std::uint8_t>(c <= 0xFF ? c : '?'));
        if (terminate) out.push_back(0);
    } else {
        PutText(out, utf8);
        if (terminate) out.push_back(0);
    }
    return out;
}

Bytes Unsynchronise(const Bytes& in) {
    Bytes out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        out.push_back(in[i]);
        if (in[i] == 0xFF && (i + 1 == in.size() || in[i + 1] >= 0xE0 || in[i + 1] == 0x00)) out.push_back(0);
    }
    return out;
}

// -------------------------------------------------------------------- MPEG

int BitrateIndex(int version, std::uint32_t kbps) {
    static const std::uint32_t kV1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const std::uint32_t kV2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const std::uint32_t* t = version == 1 ? kV1 : kV2;
    for (int i = 1; i < 15; ++i)
        if (t[i] == kbps) return i;
    return -1;
}

int RateIndex(int version, std::uint32_t rate) {
    static const std::uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const int row = version == 1 ? 0 : version == 2 ? 1 : 2;
    for (int i = 0; i < 3; ++i)
        if (kRates[row][i] == rate) return i;
    return -1;
}

// A silent Layer III frame (all-zero side information and main data).
class Mp3FrameMaker {
public:
    explicit Mp3FrameMaker(const Mp3Spec& s) : s_(s) {}

    Bytes Frame(std::uint32_t kbps) {
        const int br = BitrateIndex(s_.version, kbps), sr = RateIndex(s_.version, s_.rate);
        if (br < 0 || sr < 0) return {};
        const std::uint32_t coef = s_.version == 1 ? 144000 : 72000;
        const std::uint64_t num = static_cast<std::uint64_t>(coef) * kbps;
        std::uint32_t size = static_cast<std::uint32_t>(num / s_.rate);
        int pad = 0;
        rest_ += num % s_.rate;
        if (rest_ >= s_.rate) {
            rest_ -= s_.rate;
            pad = 1;
        }
        size += pad;
        Bytes f(size, 0);
        const int verBits = s_.version == 1 ? 3 : s_.version == 2 ? 2 : 0;
        f[0] = 0xFF;
        f[1] = static_cast<std::uint8_t>(0xE0 | (verBits << 3) | (1 << 1) | 1);  // Layer III, no CRC
        f[2] = static_cast<std::uint8_t>((br << 4) | (sr << 2) | (pad << 1));
        f[3] = static_cast<std::uint8_t>((s_.mono ? 3 : 1) << 6);  // mono or joint stereo
        return f;
    }
    std::size_t SideInfo() const { return s_.version == 1 ? (s_.mono ? 17 : 32) : (s_.mono ? 9 : 17); }

private:
    const Mp3Spec& s_;
    std::uint64_t rest_ = 0;
};

void WriteAt32BE(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 24);
    b[at + 1] = static_cast<std::uint8_t>(v >> 16);
    b[at + 2] = static_cast<std::uint8_t>(v >> 8);
    b[at + 3] = static_cast<std::uint8_t>(v);
}

}  // namespace

// ------------------------------------------------------------------ builders

namespace {

// A Xing or Info header at `at` of the header frame: frame and byte counts, and
// with a LAME header also the TOC, the quality and the LAME header itself.
void WriteXing(Bytes& header, std::size_t at, const Mp3Spec& s, std::uint32_t totalBytes) {
    const bool lame = s.lameDelay >= 0 && header.size() >= at + 120 + 24;
    std::memcpy(&header[at], s.header == Mp3Spec::kXing ? "Xing" : "Info", 4);
    WriteAt32BE(header, at + 4, lame ? 0xF : 0x3);  // frames, bytes (, TOC, quality)
    WriteAt32BE(header, at + 8, s.frames);
    WriteAt32BE(header, at + 12, totalBytes);
    if (!lame) return;
    const std::size_t tag = at + 120;
    std::memcpy(&header[tag], "LAME3.100", 9);
    header[tag + 21] = static_cast<std::uint8_t>(s.lameDelay >> 4);
    header[tag + 22] = static_cast<std::uint8_t>(((s.lameDelay & 0x0F) << 4) | ((s.lamePadding >> 8) & 0x0F));
    header[tag + 23] = static_cast<std::uint8_t>(s.lamePadding);
}

}  // namespace

Bytes MakeAiff(const AiffSpec& s) {
    const std::uint32_t bytesPerSample = s.bits / 8u;
    Bytes comm;
    Put16BE(comm, s.channels);
    Put32BE(comm, s.frames);
    Put16BE(comm, s.bits);
    // The rate as an 80-bit extended number: exponent, then the mantissa with
    // its leading one at the top.
    int exponent = 31;
    while (exponent > 0 && !(s.rate >> exponent)) --exponent;
    Put16BE(comm, static_cast<std::uint32_t>(16383 + exponent));
    Put32BE(comm, s.rate << (31 - exponent));
    Put32BE(comm, 0);
    Bytes ssnd;
    Put32BE(ssnd, 0);  // offset
    Put32BE(ssnd, 0);  // block size
    for (std::uint32_t i = 0; i < s.frames; ++i) {
        const double v = std::sin(2 * 3.14159265358979 * 440.0 * i / s.rate) * 0.5;
        const auto sample = static_cast<std::int32_t>(v * 2147483647.0);
        for (std::uint16_t c = 0; c < s.channels; ++c)
            for (std::uint32_t k = 0; k < bytesPerSample; ++k)
                ssnd.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(sample) >> (24 - 8 * k)));
    }
    Bytes body;
    PutText(body, "AIFF");
    PutText(body, "COMM");
    Put32BE(body, static_cast<std::uint32_t>(comm.size()));
    Append(body, comm);
    PutText(body, "SSND");
    Put32BE(body, static_cast<std::uint32_t>(ssnd.size()));
    Append(body, ssnd);
    if (ssnd.size() & 1) body.push_back(0);
    Bytes out;
    PutText(out, "FORM");
    Put32BE(out, static_cast<std::uint32_t>(body.size()));
    Append(out, body);
    return out;
}

Bytes MakeWav(const WavSpec& s) {
    Bytes fmt;
    std::uint16_t tag = s.formatTag ? s.formatTag : (s.isFloat ? 3 : 1);
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(s.channels * ((s.bits + 7) / 8));
    Put16LE(fmt, s.extensible ? 0xFFFE : tag);
    Put16LE(fmt, s.channels);
    Put32LE(fmt, s.rate);
    Put32LE(fmt, s.rate * blockAlign);
    Put16LE(fmt, blockAlign);
    Put16LE(fmt, s.bits);
    if (s.extensible) {
        Put16LE(fmt, 22);
        Put16LE(fmt, s.bits);                       // valid bits
        Put32LE(fmt, s.channels == 1 ? 0x4 : 0x3);  // channel mask
        Put16LE(fmt, tag);                          // sub-format GUID
        const std::uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), guidTail, guidTail + 14);
    }

    Bytes data;
    data.reserve(static_cast<std::size_t>(s.frames) * blockAlign);
    for (std::uint32_t i = 0; i < s.frames; ++i) {
        for (int c = 0; c < s.channels; ++c) {
            const double v = 0.25 * std::sin(2 * kPi * s.toneHz * (1 + 0.5 * c) * i / s.rate);
            if (s.isFloat && s.bits == 64) {
                double d = v;
                std::uint8_t raw[8];
                std::memcpy(raw, &d, 8);
                data.insert(data.end(), raw, raw + 8);
            } else if (s.isFloat) {
                float fl = static_cast<float>(v);
                std::uint8_t raw[4];
                std::memcpy(raw, &fl, 4);
                data.insert(data.end(), raw, raw + 4);
            } else if (s.bits == 8) {
                data.push_back(static_cast<std::uint8_t>(128 + std::lround(v * 127)));
            } else {
                const std::int64_t full = std::llround(v * static_cast<double>((1ll << (s.bits - 1)) - 1));
                for (int k = 0; k < s.bits / 8; ++k) data.push_back(static_cast<std::uint8_t>(full >> (8 * k)));
            }
        }
    }

    Bytes list;
    if (!s.info.empty()) {
        PutText(list, "INFO");
        for (const auto& item : s.info) {
            Bytes text(item.second.begin(), item.second.end());
            text.push_back(0);
            PutChunk(list, item.first.c_str(), text);
        }
    }

    Bytes body;
    PutText(body, "WAVE");
    if (s.infoFirst) {
        PutChunk(body, "junk", Bytes{1, 2, 3});  // odd size: one pad byte follows
        if (!list.empty()) PutChunk(body, "LIST", list);
    }
    PutChunk(body, "fmt ", fmt);
    PutChunk(body, "data", data);
    if (!s.infoFirst && !list.empty()) PutChunk(body, "LIST", list);
    Bytes out;
    PutText(out, "RIFF");
    Put32LE(out, static_cast<std::uint32_t>(body.size()));
    Append(out, body);
    return out;
}

Bytes MakeFlac(const FlacSpec& s) {
    Bytes frames;
    std::uint32_t minFrame = 0xFFFFFF, maxFrame = 0;
    std::uint64_t number = 0;
    for (std::uint64_t done = 0; done < s.frames; ++number) {
        const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(s.blockSize, s.frames - done));
        const bool last = done + n == s.frames;
        Bytes f = FlacFrame(s, number, n, last && n < s.blockSize);
        minFrame = std::min<std::uint32_t>(minFrame, static_cast<std::uint32_t>(f.size()));
        maxFrame = std::max<std::uint32_t>(maxFrame, static_cast<std::uint32_t>(f.size()));
        Append(frames, f);
        done += n;
    }
    if (maxFrame == 0) minFrame = 0;

    Bytes out;
    if (s.leadingId3) {
        Id3Spec id3;
        id3.frames.push_back(TextFrame("TIT2", "id3 title before fLaC"));
        out = MakeId3v2(id3);
    }
    PutText(out, "fLaC");
    // STREAMINFO
    out.insert(out.end(), {0x00, 0x00, 0x00, 34});
    Put16BE(out, s.blockSize);
    Put16BE(out, s.blockSize);
    out.insert(out.end(), {static_cast<std::uint8_t>(minFrame >> 16), static_cast<std::uint8_t>(minFrame >> 8),
                           static_cast<std::uint8_t>(minFrame)});
    out.insert(out.end(), {static_cast<std::uint8_t>(maxFrame >> 16), static_cast<std::uint8_t>(maxFrame >> 8),
                           static_cast<std::uint8_t>(maxFrame)});
    {
        Bytes packed;
        BitWriter w(packed);
        w.Put(s.rate, 20);
        w.Put(s.channels - 1u, 3);
        w.Put(s.bits - 1u, 5);
        w.Put(s.frames, 36);
        Append(out, packed);
    }
    out.insert(out.end(), 16, 0);  // MD5 unknown
    // VORBIS_COMMENT
    Bytes vc;
    Put32LE(vc, static_cast<std::uint32_t>(s.vendor.size()));
    PutText(vc, s.vendor);
    Put32LE(vc, static_cast<std::uint32_t>(s.comments.size()));
    for (const std::string& c : s.comments) {
        Put32LE(vc, static_cast<std::uint32_t>(c.size()));
        PutText(vc, c);
    }
    out.push_back(0x04);
    out.insert(out.end(), {static_cast<std::uint8_t>(vc.size() >> 16), static_cast<std::uint8_t>(vc.size() >> 8),
                           static_cast<std::uint8_t>(vc.size())});
    Append(out, vc);
    // PADDING, the last block
    out.insert(out.end(), {0x81, 0x00, 0x00, 64});
    out.insert(out.end(), 64, 0);
    Append(out, frames);
    return out;
}

Id3Frame TextFrame(const std::string& id, const std::string& text, int encoding) {
    Id3Frame f;
    f.id = id;
    f.text = text;
    f.encoding = encoding;
    return f;
}

Id3Frame CommentFrame(const std::string& description, const std::string& text, int encoding) {
    Id3Frame f = TextFrame("COMM", text, encoding);
    f.description = description;
    return f;
}

Bytes MakeId3v2(const Id3Spec& s) {
    const bool v24 = s.version == 4, v22 = s.version == 2;
    Bytes frames;
    for (const Id3Frame& fr : s.frames) {
        Bytes body;
        if (!fr.raw.empty()) {
            body = fr.raw;
        } else if (fr.id == "COMM" || fr.id == "COM") {
            body.push_back(static_cast<std::uint8_t>(fr.encoding));
            PutText(body, (fr.language + "   ").substr(0, 3));
            Append(body, EncodeId3Text(fr.encoding, fr.description, true));
            Append(body, EncodeId3Text(fr.encoding, fr.text, false));
        } else {
            body.push_back(static_cast<std::uint8_t>(fr.encoding));
            Append(body, EncodeId3Text(fr.encoding, fr.text, false));
        }
        std::uint8_t formatFlags = fr.formatFlags;
        if (v24 && s.unsync) {
            body = Unsynchronise(body);
            formatFlags |= 0x02;
        }
        PutText(frames, fr.id);
        const std::uint32_t size = static_cast<std::uint32_t>(body.size());
        if (v22) {
            frames.insert(frames.end(), {static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 8),
                                         static_cast<std::uint8_t>(size)});
        } else {
            if (v24 && !s.plainSizesIn24) PutSyncsafe(frames, size);
            else Put32BE(frames, size);
            frames.push_back(0);
            frames.push_back(formatFlags);
        }
        Append(frames, body);
    }
    Bytes tagBody;
    if (s.extendedHeader && !v22) {
        if (v24) {
            PutSyncsafe(tagBody, 6);
            tagBody.push_back(1);
            tagBody.push_back(0);
        } else {
            Put32BE(tagBody, 6);
            Put16BE(tagBody, 0);
            Put32BE(tagBody, static_cast<std::uint32_t>(s.padding));
        }
    }
    Append(tagBody, frames);
    tagBody.insert(tagBody.end(), s.footer && v24 ? 0 : s.padding, 0);
    if (s.unsync && !v24) tagBody = Unsynchronise(tagBody);

    std::uint8_t flags = 0;
    if (s.unsync) flags |= 0x80;
    if (s.extendedHeader && !v22) flags |= 0x40;
    if (s.footer && v24) flags |= 0x10;
    Bytes out;
    PutText(out, "ID3");
    out.push_back(static_cast<std::uint8_t>(s.version));
    out.push_back(0);
    out.push_back(flags);
    PutSyncsafe(out, static_cast<std::uint32_t>(tagBody.size()));
    Append(out, tagBody);
    if (s.footer && v24) {
        PutText(out, "3DI");
        out.insert(out.end(), {4, 0, flags});
        PutSyncsafe(out, static_cast<std::uint32_t>(tagBody.size()));
    }
    return out;
}

Bytes MakeId3v1(const std::string& title, const std::string& artist, const std::string& album, const std::string& year,
                const std::string& comment, int track, int genre) {
    Bytes b(128, 0);
    std::memcpy(b.data(), "TAG", 3);
    auto put = [&](std::size_t at, const std::string& s, std::size_t n) {
        std::memcpy(&b[at], s.data(), std::min(n, s.size()));
    };
    put(3, title, 30);
    put(33, artist, 30);
    put(63, album, 30);
    put(93, year, 4);
    put(97, comment, 28);
    b[125] = 0;
    b[126] = static_cast<std::uint8_t>(track);
    b[127] = static_cast<std::uint8_t>(genre);
    return b;
}

std::uint32_t Mp3SamplesPerFrame(int version) { return version == 1 ? 1152 : 576; }

Bytes MakeMp3(const Mp3Spec& s) {
    Mp3FrameMaker maker(s);
    Bytes audio;
    Bytes header;
    if (s.header != Mp3Spec::kNone) header = maker.Frame(s.bitrate);
    for (std::uint32_t i = 0; i < s.frames; ++i) {
        const std::uint32_t kbps = s.vbrBitrates.empty() ? s.bitrate : s.vbrBitrates[i % s.vbrBitrates.size()];
        Append(audio, maker.Frame(kbps));
    }
    if (!header.empty()) {
        const std::uint32_t totalBytes = static_cast<std::uint32_t>(header.size() + audio.size());
        if (s.header == Mp3Spec::kVbri) {
            const std::size_t at = 36;
            std::memcpy(&header[at], "VBRI", 4);
            header[at + 5] = 1;  // version 1
            WriteAt32BE(header, at + 10, totalBytes);
            WriteAt32BE(header, at + 14, s.frames);
        } else {
            WriteXing(header, 4 + maker.SideInfo(), s, totalBytes);
        }
    }
    Bytes out = s.id3v2;
    Append(out, header);
    Append(out, audio);
    if (s.apeTag) {
        PutText(out, "APETAGEX");
        Put32LE(out, 2000);  // version
        Put32LE(out, 32);    // items and footer
        Put32LE(out, 0);     // no items
        Put32LE(out, 0);     // flags: a footer, no header
        out.insert(out.end(), 8, 0);
    }
    Append(out, s.id3v1);
    return out;
}

Bytes MakeMod(const ModSpec& s) {
    Bytes out(1084, 0);
    std::memcpy(out.data(), s.title.data(), std::min<std::size_t>(20, s.title.size()));
    // Sample 1: a short looped square wave; the other 30 are empty.
    const std::size_t sampleAt = 20;
    std::memcpy(&out[sampleAt], "square", 6);
    out[sampleAt + 22] = 0;
    out[sampleAt + 23] = 16;                                       // length: 16 words
    out[sampleAt + 25] = 64;                                       // volume
    out[sampleAt + 29] = 16;                                       // loop: words 0..16
    for (int i = 1; i < 31; ++i) out[sampleAt + i * 30 + 29] = 1;  // loop length 1: no loop
    out[950] = static_cast<std::uint8_t>(s.orders.size());
    out[951] = 127;
    int patterns = 0;
    for (std::size_t i = 0; i < s.orders.size() && i < 128; ++i) {
        out[952 + i] = s.orders[i];
        patterns = std::max(patterns, s.orders[i] + 1);
    }
    std::memcpy(&out[1080], s.signature.data(), std::min<std::size_t>(4, s.signature.size()));
    const std::size_t patternBytes = static_cast<std::size_t>(s.channels) * 4 * 64;
    Bytes pat(patternBytes * patterns, 0);
    for (const ModCell& c : s.cells) {
        if (c.pattern >= patterns || c.row >= 64 || c.channel >= s.channels) continue;
        std::uint8_t* cell = &pat[c.pattern * patternBytes + (c.row * s.channels + c.channel) * 4];
        cell[0] = static_cast<std::uint8_t>((c.sample & 0xF0) | ((c.period >> 8) & 0x0F));
        cell[1] = static_cast<std::uint8_t>(c.period);
        cell[2] = static_cast<std::uint8_t>(((c.sample & 0x0F) << 4) | (c.effect & 0x0F));
        cell[3] = c.param;
    }
    Append(out, pat);
    for (int i = 0; i < 32; ++i) out.push_back(i < 2 ? 0 : (i / 8) % 2 ? 0x40 : 0xC0);
    return out;
}

}  // namespace simsamples
