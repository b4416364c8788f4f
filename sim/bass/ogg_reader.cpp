// Ogg Vorbis: the packets of the first logical stream are put together from
// its pages' segments until the identification header (channels, rate) and
// the comment header are read; the length is the granule position of the
// stream's last page. The whole file is audio data, as BASS reports it.
#include <algorithm>

#include "sim/bass/bass_api.h"
#include "sim/bass/media_detail.h"

namespace simbass::detail {
namespace {

constexpr std::size_t kPageHeader = 27;

struct OggPage {
    std::uint64_t granule = 0;
    std::uint32_t serial = 0;
    std::vector<std::uint8_t> lacing;
    std::uint64_t body = 0;  // offset of the page's data
    std::uint64_t next = 0;  // offset of the following page
};

bool ReadPage(ByteSource& src, std::uint64_t at, OggPage* page) {
    std::uint8_t h[kPageHeader];
    if (!src.ReadExact(at, h, kPageHeader) || !Is(h, "OggS") || h[4] != 0) return false;
    page->granule = LE64(h + 6);
    page->serial = LE32(h + 14);
    page->lacing = src.Read(at + kPageHeader, h[26]);
    if (page->lacing.size() != h[26]) return false;
    page->body = at + kPageHeader + h[26];
    std::uint64_t bodySize = 0;
    for (std::uint8_t n : page->lacing) bodySize += n;
    page->next = page->body + bodySize;
    return page->next <= src.Size();
}

// The first `count` packets of the stream that the first page belongs to;
// fewer when the pages end first or a packet outgrows kMaxTagBlock.
std::vector<std::vector<std::uint8_t>> FirstPackets(ByteSource& src, std::size_t count, std::uint32_t* serial) {
    std::vector<std::vector<std::uint8_t>> packets(1);
    OggPage page;
    for (std::uint64_t at = 0; packets.size() <= count && ReadPage(src, at, &page); at = page.next) {
        if (at == 0) *serial = page.serial;
        if (page.serial != *serial) continue;
        std::uint64_t pos = page.body;
        for (std::uint8_t n : page.lacing) {
            std::vector<std::uint8_t> part = src.Read(pos, n);
            pos += n;
            auto& packet = packets.back();
            if (packet.size() + part.size() > kMaxTagBlock) return {};
            packet.insert(packet.end(), part.begin(), part.end());
            if (n < 255) {
                if (packets.size() == count) return packets;
                packets.emplace_back();
            }
        }
    }
    packets.pop_back();  // the one still being put together
    return packets;
}

// The granule position of the stream's last page that has one, searched for
// from the end of the file backward.
std::uint64_t LastGranule(ByteSource& src, std::uint32_t serial) {
    constexpr std::size_t kChunk = 64 * 1024;
    const std::uint64_t size = src.Size();
    for (std::uint64_t end = size; end > 0;) {
        const std::uint64_t from = end > kChunk ? end - kChunk : 0;
        const std::vector<std::uint8_t> tail = src.Read(from, static_cast<std::size_t>(end - from + 3));
        for (std::size_t i = std::min(tail.size(), static_cast<std::size_t>(end - from)); i-- > 0;) {
            if (i + 4 > tail.size() || !Is(&tail[i], "OggS")) continue;
            OggPage page;
            if (ReadPage(src, from + i, &page) && page.serial == serial && page.granule != ~0ull) return page.granule;
        }
        end = from;
    }
    return 0;
}

}  // namespace

int ReadOgg(ByteSource& src, MediaInfo* info) {
    std::uint8_t magic[4];
    if (!src.ReadExact(0, magic, 4) || !Is(magic, "OggS")) return kNotThisFormat;
    std::uint32_t serial = 0;
    const auto packets = FirstPackets(src, 2, &serial);
    if (packets.empty()) return SIMBASS_ERROR_FILEFORM;
    const std::vector<std::uint8_t>& id = packets[0];
    if (id.size() < 30 || id[0] != 1 || std::memcmp(&id[1], "vorbis", 6) != 0) return SIMBASS_ERROR_FILEFORM;
    info->chans = id[11];
    info->freq = LE32(&id[12]);
    if (info->chans == 0 || info->freq == 0) return SIMBASS_ERROR_FILEFORM;
    if (packets.size() > 1 && packets[1].size() > 7 && packets[1][0] == 3 &&
        std::memcmp(&packets[1][1], "vorbis", 6) == 0) {
        ParseVorbisComments(std::vector<std::uint8_t>(packets[1].begin() + 7, packets[1].end()), &info->vorbis);
    }
    info->ctype = SIMBASS_CTYPE_STREAM_OGG;
    info->origres = 0;
    info->frames = LastGranule(src, serial);
    info->audioStart = 0;
    info->audioEnd = src.Size();
    return SIMBASS_OK;
}

}  // namespace simbass::detail
