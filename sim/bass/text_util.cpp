#include "sim/bass/text_util.h"

namespace simbass {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16ToUtf8(const char16_t* units, std::size_t count) {
    std::string out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            std::uint32_t lo = units[++i];
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        } else {
            AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s) { return Utf16ToUtf8(s.data(), s.size()); }

namespace {

// Decodes one UTF-8 sequence at s[i]; returns its length (at least 1) and the
// code point, or U+FFFD with length 1 for a malformed sequence.
std::size_t DecodeUtf8(const unsigned char* s, std::size_t n, std::size_t i, std::uint32_t* cp) {
    unsigned char c = s[i];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    std::size_t len;
    std::uint32_t v, min;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2, v = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, v = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4, v = c & 0x07, min = 0x10000;
    } else {
        *cp = 0xFFFD;
        return 1;
    }
    if (i + len > n) {
        *cp = 0xFFFD;
        return 1;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) {
            *cp = 0xFFFD;
            return 1;
        }
        v = (v << 6) | (s[i + k] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
        *cp = 0xFFFD;
        return 1;
    }
    *cp = v;
    return len;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& s) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp;
        i += DecodeUtf8(p, s.size(), i, &cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string Latin1ToUtf8(const char* bytes, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) AppendUtf8(out, static_cast<unsigned char>(bytes[i]));
    return out;
}

bool IsValidUtf8(const char* bytes, std::size_t count) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count;) {
        std::uint32_t cp;
        std::size_t len = DecodeUtf8(p, count, i, &cp);
        if (cp == 0xFFFD && len == 1 && p[i] >= 0x80) return false;
        i += len;
    }
    return true;
}

std::string Utf8OrLatin1(const char* bytes, std::size_t count) {
    if (IsValidUtf8(bytes, count)) return std::string(bytes, count);
    return Latin1ToUtf8(bytes, count);
}

std::size_t Utf16Length(const char16_t* s, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && s[n] != 0) ++n;
    return n;
}

bool EqualsIgnoreCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

}  // namespace simbass
