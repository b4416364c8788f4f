#include "audio_library.h"

namespace host {
namespace {

template <typename Fn>
void BindOne(HMODULE module, const char* name, Fn& target) {
    target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void AudioLibrary::Load(const std::wstring& folder) {
    std::wstring path = folder + L"\\bass.dll";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    module_.Reset(LoadLibraryW(path.c_str()));
    if (module_) Bind();
}

void AudioLibrary::Bind() {
    HMODULE m = module_.Get();
    BindOne(m, "BASS_StreamCreateFile", streamCreateFile);
    BindOne(m, "BASS_StreamFree", streamFree);
    BindOne(m, "BASS_ChannelGetLength", channelGetLength);
    BindOne(m, "BASS_ChannelBytes2Seconds", bytes2Seconds);
    BindOne(m, "BASS_ChannelSeconds2Bytes", seconds2Bytes);
    BindOne(m, "SIMBASS_PlayFile", playFile);
    BindOne(m, "SIMBASS_PlayUrl", playUrl);
    BindOne(m, "SIMBASS_SetPosition", setPosition);
    BindOne(m, "SIMBASS_Stop", stop);
    BindOne(m, "SIMBASS_WaitSyncs", waitSyncs);
}

bool AudioLibrary::CanDecode() const {
    return streamCreateFile && streamFree && channelGetLength && bytes2Seconds && seconds2Bytes;
}

bool AudioLibrary::CanPlay() const { return CanDecode() && playFile && playUrl && setPosition && stop && waitSyncs; }

void AudioLibrary::Unload() { *this = AudioLibrary(); }

}  // namespace host
