// The TAGS add-on's half: turns the raw tag blocks that BASS_ChannelGetTags
// hands out into the twelve fields that the format language names, and
// evaluates that language. Portable C++; every read is bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace simbass {

enum TagField {
    kTagTitle,        // %TITL
    kTagArtist,       // %ARTI
    kTagAlbum,        // %ALBM
    kTagGenre,        // %GNRE
    kTagYear,         // %YEAR
    kTagComment,      // %CMNT
    kTagTrack,        // %TRCK
    kTagComposer,     // %COMP
    kTagCopyright,    // %COPY
    kTagSubtitle,     // %SUBT
    kTagAlbumArtist,  // %AART
    kTagDisc,         // %DISC
    kTagFieldCount
};

// Twelve UTF-8 texts; a source fills only the fields still empty, so the first
// source with a non-empty value wins.
struct TagSet {
    std::string field[kTagFieldCount];
    void Offer(TagField f, const std::string& value) {
        if (field[f].empty()) field[f] = value;
    }
};

// "NAME=value" strings, each zero-terminated, the list ending with an empty one.
void ApplyVorbisComments(const char* list, TagSet* tags);
void ApplyRiffInfo(const char* list, TagSet* tags);
// A whole ID3v2 tag (v2.2, v2.3 or v2.4), at most `size` bytes of it.
void ApplyId3v2(const std::uint8_t* tag, std::size_t size, TagSet* tags);
// The 128-byte ID3v1 block (v1.1 track number included).
void ApplyId3v1(const std::uint8_t* tag128, TagSet* tags);
// A module's song name (taken as ISO-8859-1 unless it is valid UTF-8).
void ApplyMusicName(const char* name, TagSet* tags);

// Evaluates a TAGS format string: literal text, %% and %, %( %) escapes, the
// field codes %TITL %ARTI %ALBM %GNRE %YEAR %CMNT %TRCK %COMP %COPY %SUBT %AART
// %DISC, and the functions %IFV1(a,b), %IFV2(a,b,c), %IUPC(x), %ILWC(x),
// %ITRM(x) and %UTF8(x).
std::string FormatTags(const char* format, const TagSet& tags);

}  // namespace simbass
