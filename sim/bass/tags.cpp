// The stand-in TAGS add-on: TAGS_Read asks BASS for the channel (to learn that
// it exists and what it is) and for its raw tag blocks (BASS_ChannelGetTags),
// reads the twelve fields from them and evaluates the format string. On Windows
// it finds bass.dll among the process's modules; natively it calls the same
// library directly.
#include <cstdint>
#include <string>

#include "sim/bass/bass_api.h"
#include "sim/bass/media.h"
#include "sim/bass/tag_reader.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

typedef std::int32_t(SIMBASS_API* GetInfoFn)(std::uint32_t, BASS_CHANNELINFO*);
typedef const char*(SIMBASS_API* GetTagsFn)(std::uint32_t, std::uint32_t);

struct Bass {
    GetInfoFn getInfo = nullptr;
    GetTagsFn getTags = nullptr;
};

bool BindBass(Bass* bass) {
#ifdef _WIN32
    HMODULE module = GetModuleHandleW(L"bass.dll");
    if (!module) return false;
    bass->getInfo = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(GetProcAddress(module, "BASS_ChannelGetInfo")));
    bass->getTags = reinterpret_cast<GetTagsFn>(reinterpret_cast<void*>(GetProcAddress(module, "BASS_ChannelGetTags")));
#else
    bass->getInfo = &BASS_ChannelGetInfo;
    bass->getTags = &BASS_ChannelGetTags;
#endif
    return bass->getInfo && bass->getTags;
}

}  // namespace

extern "C" const char* SIMBASS_API TAGS_Read(std::uint32_t handle, const char* fmt) {
    Bass bass;
    if (!BindBass(&bass)) return nullptr;
    BASS_CHANNELINFO info;
    if (!bass.getInfo(handle, &info)) return nullptr;

    simbass::TagSet tags;
    if ((info.ctype & 0xFFFF0000u) == 0x20000u)
        simbass::ApplyMusicName(bass.getTags(handle, SIMBASS_TAG_MUSIC_NAME), &tags);
    simbass::ApplyVorbisComments(bass.getTags(handle, SIMBASS_TAG_OGG), &tags);
    if (const char* id3 = bass.getTags(handle, SIMBASS_TAG_ID3V2)) {
        const auto* block = reinterpret_cast<const std::uint8_t*>(id3);
        // BASS keeps the whole block that its header announces.
        simbass::ApplyId3v2(block, static_cast<std::size_t>(simbass::Id3v2TagSize(block)), &tags);
    }
    simbass::ApplyRiffInfo(bass.getTags(handle, SIMBASS_TAG_RIFF_INFO), &tags);
    simbass::ApplyId3v1(reinterpret_cast<const std::uint8_t*>(bass.getTags(handle, SIMBASS_TAG_ID3)), &tags);

    static thread_local std::string buffer;
    buffer = simbass::FormatTags(fmt, tags);
    return buffer.c_str();
}
