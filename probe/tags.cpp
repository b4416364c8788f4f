#include "probe/tags.h"

#include <cstring>

namespace vellum {

const TagFormat kTagFormats[12] = {
    {"%IFV2(%TITL,%UTF8(%TITL),)", &TrackRecord::tagTitle},
    {"%IFV2(%ARTI,%UTF8(%ARTI),)", &TrackRecord::tagArtist},
    {"%IFV2(%ALBM,%UTF8(%ALBM),)", &TrackRecord::tagAlbum},
    {"%IFV2(%GNRE,%UTF8(%GNRE),)", &TrackRecord::tagGenre},
    {"%IFV2(%YEAR,%UTF8(%YEAR),)", &TrackRecord::tagDate},
    {"%IFV2(%CMNT,%UTF8(%CMNT),)", &TrackRecord::tagComment},
    {"%IFV2(%TRCK,%UTF8(%TRCK),)", &TrackRecord::tagTracknumber},
    {"%IFV2(%COMP,%UTF8(%COMP),)", &TrackRecord::tagPerformer},
    {"%IFV2(%COPY,%UTF8(%COPY),)", &TrackRecord::tagCopyright},
    {"%IFV2(%SUBT,%UTF8(%SUBT),)", &TrackRecord::tagSubtitle},
    {"%IFV2(%AART,%UTF8(%AART),)", &TrackRecord::tagAlbumArtist},
    {"%IFV2(%DISC,%UTF8(%DISC),)", &TrackRecord::tagDiscNumber},
};

void ReadTags(const AudioLibrary& audio, AudioHandle channel, TrackRecord& record) noexcept {
    for (const TagFormat& tag : kTagFormats) {
        const char* text = audio.TagsRead ? audio.TagsRead(channel, tag.format) : nullptr;
        // The add-on's text lives only until its next call: copy it now.
        const std::size_t length = text != nullptr ? std::strlen(text) : 0;
        ReplaceText(record.*tag.field, CopyText(text, length));
    }
}

}  // namespace vellum
