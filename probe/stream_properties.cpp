#include "probe/stream_properties.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "probe/convert.h"
#include "probe/host_text.h"

namespace vellum {
namespace {

struct CodecEntry {
    std::uint32_t type;
    const char* name;
};

const CodecEntry kCodecs[] = {
    {0x10002, "Vorbis"}, {0x10003, "mp1"},      {0x10004, "mp2"},        {0x10005, "mp3"},      {0x10006, "aiff"},
    {0x40000, "wave"},   {0x50001, "wave pcm"}, {0x50003, "wave float"}, {0x50055, "wave mp3"}, {0x10200, "cd"},
    {0x10300, "wma"},    {0x10301, "wma mp3"},  {0x10500, "wavpack"},    {0x10700, "ape"},      {0x10900, "flac"},
    {0x10901, "flac"},   {0x10b00, "aac"},      {0x10b01, "aac"},        {0x10d00, "midi"},     {0x10e00, "alac"},
    {0x10f00, "tta"},    {0x11000, "ac3"},      {0x12000, "tak"},
};

// The audio library answers a failed length or position query with all bits set.
constexpr std::uint64_t kAudioError = ~std::uint64_t{0};

// Average bit rate of the whole channel: the file's length over the stream's.
std::int32_t ChannelBitRate(const AudioLibrary& audio, AudioHandle channel) {
    if (!audio.ChannelGetLength || !audio.ChannelBytes2Seconds || !audio.StreamGetFilePosition) return 0;
    const std::uint64_t length = audio.ChannelGetLength(channel, kAudioPositionBytes);
    const std::uint64_t end = audio.StreamGetFilePosition(channel, kAudioFilePositionEnd);
    if (length == kAudioError || end == kAudioError) return 0;
    const float seconds = static_cast<float>(audio.ChannelBytes2Seconds(channel, length));
    return ComputeBitRate(static_cast<std::uint32_t>(end), seconds);
}

}  // namespace

const char* CodecName(std::uint32_t channelType) noexcept {
    for (const CodecEntry& entry : kCodecs)
        if (entry.type == channelType) return entry.name;
    return "";
}

std::int32_t ComputeBitRate(std::uint32_t fileBytes, float seconds) noexcept {
    if (fileBytes == 0 || !(seconds > 0.0f)) return 0;
    const double bitsPerSecond = 8.0 * static_cast<double>(fileBytes) / static_cast<double>(seconds);
    if (bitsPerSecond >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(bitsPerSecond);
}

std::int32_t WholeSeconds(double seconds) noexcept {
    if (!(seconds > 0.0)) return 0;
    if (seconds >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(seconds);
}

std::u16string_view FileNameOf(std::u16string_view path) noexcept {
    const std::size_t separator = path.find_last_of(u"\\/");
    return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

void FillStreamProperties(const ProbeContext& context, std::u16string_view path, TrackRecord& record,
                          AudioHandle channel, std::int32_t duration) {
    AudioChannelInfo info{};
    if (context.audio.ChannelGetInfo) context.audio.ChannelGetInfo(channel, &info);
    ReplaceText(record.file_name, WideToUtf8(path));
    ReplaceText(record.file_title, HostTitle(context.hostCue, path));
    ReplaceText(record.file_ext, CopyText("", 0));
    ReplaceText(record.infoCodec_sub, AnsiToUtf8(CodecName(info.ctype)));
    record.file_size = 0;
    record.statDuration = duration;
    record.statChannels = static_cast<std::int32_t>(info.chans);
    record.statSamplingrate = static_cast<std::int32_t>(info.freq);
    record.statBitrate = ChannelBitRate(context.audio, channel);
    record.rating = 0;
    record.playcount = 0;
    record.lastplayed = 0;
    record.modify = 0;
}

AudioFileHandle OpenAudioFile(const ProbeContext& context, std::u16string_view path) {
    AudioFileHandle file;
    if (!IsUsableTrackPath(path)) return file;
    char16_t terminated[kPathBufferUnits] = {};
    std::memcpy(terminated, path.data(), path.size() * sizeof(char16_t));
    constexpr std::uint32_t flags = kAudioUnicode | kAudioDecode;
    if (context.audio.StreamCreateFile) file.handle = context.audio.StreamCreateFile(0, terminated, 0, 0, flags);
    if (file.handle == 0 && context.audio.MusicLoad) {
        file.handle = context.audio.MusicLoad(0, terminated, 0, 0, flags, 0);
        file.music = file.handle != 0;
    }
    return file;
}

void CloseAudioFile(const ProbeContext& context, AudioFileHandle file) noexcept {
    if (file.handle == 0) return;
    if (file.music) {
        if (context.audio.MusicFree) context.audio.MusicFree(file.handle);
    } else if (context.audio.StreamFree) {
        context.audio.StreamFree(file.handle);
    }
}

std::int32_t AudioDuration(const ProbeContext& context, AudioHandle handle) noexcept {
    if (!context.audio.ChannelGetLength || !context.audio.ChannelBytes2Seconds) return 0;
    const std::uint64_t length = context.audio.ChannelGetLength(handle, kAudioPositionBytes);
    if (length == kAudioError) return 0;
    return WholeSeconds(context.audio.ChannelBytes2Seconds(handle, length));
}

}  // namespace vellum
