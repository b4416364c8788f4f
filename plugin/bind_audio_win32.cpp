#include "plugin/bind_audio_win32.h"

#include <windows.h>

#include <string>

namespace vellum {
namespace {

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void BindBass(AudioLibrary& audio) {
    HMODULE bass = GetModuleHandleW(L"bass.dll");
    if (bass == nullptr) return;
    Bind(bass, "BASS_StreamCreateFile", audio.StreamCreateFile);
    Bind(bass, "BASS_MusicLoad", audio.MusicLoad);
    Bind(bass, "BASS_StreamFree", audio.StreamFree);
    Bind(bass, "BASS_MusicFree", audio.MusicFree);
    Bind(bass, "BASS_ChannelGetInfo", audio.ChannelGetInfo);
    Bind(bass, "BASS_ChannelGetLength", audio.ChannelGetLength);
    Bind(bass, "BASS_ChannelBytes2Seconds", audio.ChannelBytes2Seconds);
    Bind(bass, "BASS_StreamGetFilePosition", audio.StreamGetFilePosition);
    Bind(bass, "BASS_ChannelSetSync", audio.ChannelSetSync);
}

// "<host folder>\Plugins\bass\tags.dll", from the host executable's own path.
std::wstring TagsLibraryPath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    std::wstring::size_type slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash);
    return path + L"\\Plugins\\bass\\tags.dll";
}

}  // namespace

int BindAudioLibraries(AudioLibrary& audio) {
    BindBass(audio);
    HMODULE tags = LoadLibraryW(TagsLibraryPath().c_str());
    if (tags == nullptr) {
        MessageBoxW(nullptr, L"tags.dllの読み込みに失敗しました。", L"vellumdb.qpl", MB_OK);
        return 0;
    }
    Bind(tags, "TAGS_Read", audio.TagsRead);
    return 1;
}

}  // namespace vellum
