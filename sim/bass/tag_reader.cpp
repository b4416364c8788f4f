#include "sim/bass/tag_reader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/bass/media.h"
#include "sim/bass/text_util.h"

namespace simbass {
namespace {

// ------------------------------------------------------------------- genres

const char* const kGenres[80] = {"Blues",
                                 "Classic Rock",
                                 "Country",
                                 "Dance",
                                 "Disco",
                                 "Funk",
                                 "Grunge",
                                 "Hip-Hop",
                                 "Jazz",
                                 "Metal",
                                 "New Age",
                                 "Oldies",
                                 "Other",
                                 "Pop",
                                 "R&B",
                                 "Rap",
                                 "Reggae",
                                 "Rock",
                                 "Techno",
                                 "Industrial",
                                 "Alternative",
                                 "Ska",
                                 "Death Metal",
                                 "Pranks",
                                 "Soundtrack",
                                 "Euro-Techno",
                                 "Ambient",
                                 "Trip-Hop",
                                 "Vocal",
                                 "Jazz+Funk",
                                 "Fusion",
                                 "Trance",
                                 "Classical",
                                 "Instrumental",
                                 "Acid",
                                 "House",
                                 "Game",
                                 "Sound Clip",
                                 "Gospel",
                                 "Noise",
                                 "AlternRock",
                                 "Bass",
                                 "Soul",
                                 "Punk",
                                 "Space",
                                 "Meditative",
                                 "Instrumental Pop",
                                 "Instrumental Rock",
                                 "Ethnic",
                                 "Gothic",
                                 "Darkwave",
                                 "Techno-Industrial",
                                 "Electronic",
                                 "Pop-Folk",
                                 "Eurodance",
                                 "Dream",
                                 "Southern Rock",
                                 "Comedy",
                                 "Cult",
                                 "Gangsta",
                                 "Top 40",
                                 "Christian Rap",
                                 "Pop/Funk",
                                 "Jungle",
                                 "Native American",
                                 "Cabaret",
                                 "New Wave",
                                 "Psychadelic",
                                 "Rave",
                                 "Showtunes",
                                 "Trailer",
                                 "Lo-Fi",
                                 "Tribal",
                                 "Acid Punk",
                                 "Acid Jazz",
                                 "Polka",
                                 "Retro",
                                 "Musical",
                                 "Rock & Roll",
                                 "Hard Rock"};

bool AllDigits(const std::string& s, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// "(17)", "17", "(17)Rock", "(RX)", "(CR)" and "((text" as ID3 writes genres.
std::string GenreName(const std::string& s) {
    if (AllDigits(s, 0, s.size()) && s.size() <= 3) {
        int n = std::atoi(s.c_str());
        return n < 80 ? kGenres[n] : s;
    }
    if (s.size() >= 2 && s[0] == '(' && s[1] == '(') return s.substr(1);
    if (!s.empty() && s[0] == '(') {
        std::size_t close = s.find(')');
        if (close == std::string::npos) return s;
        if (close + 1 < s.size()) return s.substr(close + 1);  // a refinement follows
        std::string code = s.substr(1, close - 1);
        if (code == "RX") return "Remix";
        if (code == "CR") return "Cover";
        if (AllDigits(code, 0, code.size()) && code.size() <= 3) {
            int n = std::atoi(code.c_str());
            if (n < 80) return kGenres[n];
        }
    }
    return s;
}

// ------------------------------------------------------------------- ID3v2

std::uint32_t Syncsafe(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0] & 0x7F) << 21) | ((p[1] & 0x7F) << 14) | ((p[2] & 0x7F) << 7) |
           (p[3] & 0x7F);
}
std::uint32_t BE32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Undoes unsynchronisation: FF 00 becomes FF.
std::vector<std::uint8_t> Resync(const std::uint8_t* p, std::size_t n) {
    std::vector<std::uint8_t> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(p[i]);
        if (p[i] == 0xFF && i + 1 < n && p[i + 1] == 0x00) ++i;
    }
    return out;
}

bool IsFrameIdChar(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// One string of an ID3v2 text in `encoding`, from p[0..n), up to its terminator;
// *used gets the bytes taken, terminator included.
std::string DecodeId3Text(int encoding, const std::uint8_t* p, std::size_t n, std::size_t* used) {
    if (encoding == 1 || encoding == 2) {
        bool bigEndian = encoding == 2;
        std::size_t i = 0;
        if (encoding == 1 && n >= 2) {
            if (p[0] == 0xFF && p[1] == 0xFE) i = 2;
            else if (p[0] == 0xFE && p[1] == 0xFF) bigEndian = true, i = 2;
        }
        std::u16string units;
        for (; i + 1 < n; i += 2) {
            char16_t u = bigEndian ? static_cast<char16_t>((p[i] << 8) | p[i + 1])
                                   : static_cast<char16_t>(p[i] | (p[i + 1] << 8));
            if (u == 0) {
                i += 2;
                break;
            }
            if (u == 0xFEFF && units.empty()) continue;  // a stray BOM
            units += u;
        }
        if (used) *used = i > n ? n : i;
        return Utf16ToUtf8(units);
    }
    std::size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    if (used) *used = len < n ? len + 1 : n;
    const char* s = reinterpret_cast<const char*>(p);
    return encoding == 3 ? Utf8OrLatin1(s, len) : Latin1ToUtf8(s, len);
}

struct FrameMapping {
    const char* id4;
    const char* id3;  // ID3v2.2 name, or null
    TagField field;
};
const FrameMapping kFrameMap[] = {
    {"TIT2", "TT2", kTagTitle},    {"TPE1", "TP1", kTagArtist},      {"TALB", "TAL", kTagAlbum},
    {"TCON", "TCO", kTagGenre},    {"TYER", "TYE", kTagYear},        {"TDRC", nullptr, kTagYear},
    {"TRCK", "TRK", kTagTrack},    {"TCOM", "TCM", kTagComposer},    {"TCOP", "TCR", kTagCopyright},
    {"TIT3", "TT3", kTagSubtitle}, {"TPE2", "TP2", kTagAlbumArtist}, {"TPOS", "TPA", kTagDisc},
};

struct Id3Walker {
    Id3Walker(int v, bool unsync, TagSet* t) : version(v), tagUnsync(unsync), tags(t) {}
    int version;
    bool tagUnsync;
    TagSet* tags;
    std::string comment;
    int commentRank = 0;  // 2: no description, 1: another description

    void Frame(const std::string& id, const std::uint8_t* data, std::size_t size, unsigned flags) {
        std::vector<std::uint8_t> d(data, data + size);
        if (version == 3) {
            if (flags & 0xC0) return;  // compressed or encrypted
            if (flags & 0x20) d.erase(d.begin(), d.begin() + (d.empty() ? 0 : 1));
        } else if (version == 4) {
            if (flags & 0x0C) return;  // compressed or encrypted
            std::size_t skip = ((flags & 0x40) ? 1 : 0) + ((flags & 0x01) ? 4 : 0);
            if (skip > d.size()) return;
            d.erase(d.begin(), d.begin() + skip);
            if ((flags & 0x02) || tagUnsync) d = Resync(d.data(), d.size());
        }
        if (d.empty()) return;
        const int encoding = d[0] <= 3 ? d[0] : 0;
        if (id == "COMM" || id == "COM") {
            if (d.size() < 4) return;
            std::size_t used = 0;
            std::string description = DecodeId3Text(encoding, &d[4], d.size() - 4, &used);
            std::size_t at = 4 + used;
            std::string text = at < d.size() ? DecodeId3Text(encoding, &d[at], d.size() - at, nullptr) : "";
            int rank = description.empty() ? 2 : description.compare(0, 4, "iTun") == 0 ? 0 : 1;
            if (rank > commentRank && !text.empty()) {
                comment = text;
                commentRank = rank;
            }
            return;
        }
        for (const FrameMapping& m : kFrameMap) {
            if (id == m.id4 || (m.id3 && id == m.id3)) {
                std::string value = DecodeId3Text(encoding, &d[1], d.size() - 1, nullptr);
                if (m.field == kTagGenre) value = GenreName(value);
                tags->Offer(m.field, value);
                return;
            }
        }
    }
};

// True when a frame, padding or the end of the tag begins at q.
bool PlausibleFrameStart(const std::vector<std::uint8_t>& body, std::size_t q) {
    if (q > body.size()) return false;
    if (q == body.size() || body[q] == 0) return true;
    if (q + 4 > body.size()) return false;
    for (int k = 0; k < 4; ++k)
        if (!IsFrameIdChar(body[q + k])) return false;
    return true;
}

// ------------------------------------------------------------------- lists

// Calls fn(name, value) for each "NAME=value" string of a list.
template <typename Fn>
void ForEachPair(const char* list, Fn fn) {
    if (!list) return;
    for (int guard = 0; *list && guard < 100000; ++guard) {
        std::size_t n = std::strlen(list);
        const char* eq = static_cast<const char*>(std::memchr(list, '=', n));
        if (eq) fn(std::string(list, eq), Utf8OrLatin1(eq + 1, n - (eq + 1 - list)));
        list += n + 1;
    }
}

std::string TrimId3v1(const std::uint8_t* p, std::size_t n) {
    std::size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    while (len > 0 && p[len - 1] == ' ') --len;
    return Utf8OrLatin1(reinterpret_cast<const char*>(p), len);
}

}  // namespace

void ApplyId3v2(const std::uint8_t* tag, std::size_t size, TagSet* tags) {
    if (!tag || size < 10) return;
    const std::uint64_t total = Id3v2TagSize(tag);
    const int version = tag[3];
    if (total == 0 || version < 2 || version > 4) return;
    const std::uint8_t flags = tag[5];
    if (version == 2 && (flags & 0x40)) return;  // v2.2 compression: unreadable
    std::size_t bodyLen = static_cast<std::size_t>(total - 10 - ((version == 4 && (flags & 0x10)) ? 10 : 0));
    if (bodyLen > size - 10) bodyLen = size - 10;
    std::vector<std::uint8_t> body(tag + 10, tag + 10 + bodyLen);
    if (version < 4 && (flags & 0x80)) body = Resync(body.data(), body.size());

    std::size_t p = 0;
    if (version >= 3 && (flags & 0x40)) {  // extended header
        if (body.size() < 4) return;
        std::uint64_t ext = version == 3 ? 4ull + BE32(body.data()) : Syncsafe(body.data());
        if (ext > body.size()) return;
        p = static_cast<std::size_t>(ext);
    }
    Id3Walker walker(version, version == 4 && (flags & 0x80) != 0, tags);
    const std::size_t idLen = version == 2 ? 3 : 4, headerLen = version == 2 ? 6 : 10;
    for (int guard = 0; p + headerLen <= body.size() && guard < 100000; ++guard) {
        const std::uint8_t* h = &body[p];
        if (h[0] == 0) break;  // padding
        bool idOk = true;
        for (std::size_t k = 0; k < idLen; ++k) idOk = idOk && IsFrameIdChar(h[k]);
        if (!idOk) break;
        std::uint32_t frameSize;
        unsigned frameFlags = 0;
        if (version == 2) {
            frameSize = (static_cast<std::uint32_t>(h[3]) << 16) | (h[4] << 8) | h[5];
        } else if (version == 3) {
            frameSize = BE32(h + 4);
            frameFlags = h[9];
        } else {
            frameFlags = h[9];
            const std::uint32_t plain = BE32(h + 4);
            frameSize = Syncsafe(h + 4);
            // Some writers put plain sizes in v2.4 tags: take whichever lands on a frame.
            if ((h[4] | h[5] | h[6] | h[7]) & 0x80) {
                frameSize = plain;
            } else if (plain != frameSize && !PlausibleFrameStart(body, p + headerLen + frameSize) &&
                       PlausibleFrameStart(body, p + headerLen + plain)) {
                frameSize = plain;
            }
        }
        const std::size_t data = p + headerLen;
        if (frameSize > body.size() - data) break;
        walker.Frame(std::string(reinterpret_cast<const char*>(h), idLen), &body[data], frameSize, frameFlags);
        p = data + frameSize;
    }
    if (!walker.comment.empty()) tags->Offer(kTagComment, walker.comment);
}

void ApplyId3v1(const std::uint8_t* t, TagSet* tags) {
    if (!t || std::memcmp(t, "TAG", 3) != 0) return;
    tags->Offer(kTagTitle, TrimId3v1(t + 3, 30));
    tags->Offer(kTagArtist, TrimId3v1(t + 33, 30));
    tags->Offer(kTagAlbum, TrimId3v1(t + 63, 30));
    tags->Offer(kTagYear, TrimId3v1(t + 93, 4));
    const bool v11 = t[97 + 28] == 0 && t[97 + 29] != 0;
    tags->Offer(kTagComment, TrimId3v1(t + 97, v11 ? 28 : 30));
    if (v11) tags->Offer(kTagTrack, std::to_string(t[97 + 29]));
    if (t[127] < 80) tags->Offer(kTagGenre, kGenres[t[127]]);
}

void ApplyVorbisComments(const char* list, TagSet* tags) {
    static const struct {
        const char* name;
        TagField field;
    } kNames[] = {
        {"TITLE", kTagTitle},
        {"ARTIST", kTagArtist},
        {"ALBUM", kTagAlbum},
        {"GENRE", kTagGenre},
        {"DATE", kTagYear},
        {"YEAR", kTagYear},
        {"COMMENT", kTagComment},
        {"DESCRIPTION", kTagComment},
        {"TRACKNUMBER", kTagTrack},
        {"COMPOSER", kTagComposer},
        {"COPYRIGHT", kTagCopyright},
        {"SUBTITLE", kTagSubtitle},
        {"ALBUMARTIST", kTagAlbumArtist},
        {"ALBUM ARTIST", kTagAlbumArtist},
        {"ALBUM_ARTIST", kTagAlbumArtist},
        {"DISCNUMBER", kTagDisc},
    };
    ForEachPair(list, [&](const std::string& name, const std::string& value) {
        for (const auto& n : kNames)
            if (EqualsIgnoreCase(name, n.name)) tags->Offer(n.field, value);
    });
}

void ApplyRiffInfo(const char* list, TagSet* tags) {
    static const struct {
        const char* id;
        TagField field;
    } kIds[] = {
        {"INAM", kTagTitle},    {"IART", kTagArtist},    {"IPRD", kTagAlbum}, {"IGNR", kTagGenre},
        {"ICRD", kTagYear},     {"ICMT", kTagComment},   {"ITRK", kTagTrack}, {"IPRT", kTagTrack},
        {"IMUS", kTagComposer}, {"ICOP", kTagCopyright},
    };
    ForEachPair(list, [&](const std::string& name, const std::string& value) {
        for (const auto& n : kIds)
            if (name == n.id) tags->Offer(n.field, value);
    });
}

void ApplyMusicName(const char* name, TagSet* tags) {
    if (name) tags->Offer(kTagTitle, Utf8OrLatin1(name, std::strlen(name)));
}

// ------------------------------------------------------------------ formats

namespace {

enum Function { kIfv1, kIfv2, kUpper, kLower, kTrim, kUtf8, kFunctionCount };
const char* const kFunctionNames[kFunctionCount] = {"IFV1", "IFV2", "IUPC", "ILWC", "ITRM", "UTF8"};
const char* const kFieldCodes[kTagFieldCount] = {"TITL", "ARTI", "ALBM", "GNRE", "YEAR", "CMNT",
                                                 "TRCK", "COMP", "COPY", "SUBT", "AART", "DISC"};

class Evaluator {
public:
    Evaluator(const char* p, const TagSet& tags) : p_(p), tags_(tags) {}

    std::string Run(bool inArguments) {
        std::string out;
        while (*p_) {
            const char c = *p_;
            if (inArguments && (c == ',' || c == ')')) break;
            if (c != '%') {
                out += c;
                ++p_;
                continue;
            }
            const char n = p_[1];
            if (n == '%' || n == ',' || n == '(' || n == ')') {
                out += n;
                p_ += 2;
                continue;
            }
            int fn = Lookup(kFunctionNames, kFunctionCount);
            if (fn >= 0 && p_[5] == '(' && depth_ < 32) {
                p_ += 6;
                ++depth_;
                std::vector<std::string> args;
                for (;;) {
                    args.push_back(Run(true));
                    if (*p_ == ',') {
                        ++p_;
                        continue;
                    }
                    if (*p_ == ')') ++p_;
                    break;
                }
                --depth_;
                out += Apply(fn, args);
                continue;
            }
            int field = Lookup(kFieldCodes, kTagFieldCount);
            if (field >= 0) {
                out += tags_.field[field];
                p_ += 5;
                continue;
            }
            out += '%';
            ++p_;
        }
        return out;
    }

private:
    // Index of the 4-letter name that follows the '%' at p_, or -1.
    int Lookup(const char* const* names, int count) const {
        for (int i = 0; i < count; ++i)
            if (std::strncmp(p_ + 1, names[i], 4) == 0) return i;
        return -1;
    }

    static std::string Apply(int fn, const std::vector<std::string>& a) {
        auto arg = [&](std::size_t i) { return i < a.size() ? a[i] : std::string(); };
        std::string s = arg(0);
        switch (fn) {
            case kIfv1: return s.empty() ? std::string() : arg(1);
            case kIfv2: return s.empty() ? arg(2) : arg(1);
            case kUpper:
                for (char& c : s)
                    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                return s;
            case kLower:
                for (char& c : s)
                    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
                return s;
            case kTrim: {
                std::size_t b = s.find_first_not_of(" \t\r\n");
                if (b == std::string::npos) return std::string();
                std::size_t e = s.find_last_not_of(" \t\r\n");
                return s.substr(b, e - b + 1);
            }
            default: return s;  // UTF8: the texts are UTF-8 already
        }
    }

    const char* p_;
    const TagSet& tags_;
    int depth_ = 0;
};

}  // namespace

std::string FormatTags(const char* format, const TagSet& tags) {
    if (!format) return std::string();
    return Evaluator(format, tags).Run(false);
}

}  // namespace simbass
