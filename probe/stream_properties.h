// The stream half of a TrackRecord: names, duration, channels, sample rate, bit
// rate and codec name of an open audio channel; and opening a plain file for
// probing.
#pragma once

#include <cstdint>
#include <string_view>

#include "library/track_record.h"
#include "probe/probe_context.h"

namespace vellum {

// The codec name for a channel type, or "" for a type not in the table.
const char* CodecName(std::uint32_t channelType) noexcept;

// Bits per second for a file of `fileBytes` bytes whose stream lasts `seconds`:
// 8 x bytes / seconds, fraction dropped, formed wide enough for any 32-bit
// byte count. 0 when either is not positive.
std::int32_t ComputeBitRate(std::uint32_t fileBytes, float seconds) noexcept;

// Whole seconds of a length in seconds, truncated toward zero. A negative or
// undefined length (an error from the audio library) gives 0.
std::int32_t WholeSeconds(double seconds) noexcept;

// The path's file name: what follows its last '\' or '/'.
std::u16string_view FileNameOf(std::u16string_view path) noexcept;

// Fills file_name, file_title, file_ext, file_size, the stream numbers and
// infoCodec_sub from `channel`, with `duration` (whole seconds) as statDuration.
// The four user columns are set to 0; the tag fields are left alone. A text
// whose block cannot be had stays null.
void FillStreamProperties(const ProbeContext& context, std::u16string_view path, TrackRecord& record,
                          AudioHandle channel, std::int32_t duration);

// A decoding handle opened for probing, and whether the module loader made it:
// a module is released with its own call, which a stream's call refuses.
struct AudioFileHandle {
    AudioHandle handle = 0;
    bool music = false;
};

// A decoding handle for a plain file: tried as a stream, then as a module.
// Handle 0 when neither opens it, when the path is unusable or nothing is bound.
AudioFileHandle OpenAudioFile(const ProbeContext& context, std::u16string_view path);
// Releases a handle from OpenAudioFile, a stream with BASS_StreamFree and a
// module with BASS_MusicFree; handle 0 is ignored.
void CloseAudioFile(const ProbeContext& context, AudioFileHandle file) noexcept;
// The whole seconds of a handle's full length, 0 when unknown.
std::int32_t AudioDuration(const ProbeContext& context, AudioHandle handle) noexcept;

}  // namespace vellum
