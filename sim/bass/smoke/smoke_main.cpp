// sim_bass_smoke.exe: a smoke test of the stand-in bass.dll and tags.dll under
// Wine (or Windows). It loads both from its own folder, binds the exports by name
// with the __stdcall types the plugin uses, writes the sample set into a temporary
// folder and checks what the DLLs report. Prints "N passed, M failed"; exit code 0
// when nothing failed. CTest runs it as StandInAudio.Smoke.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/unique_handle_win32.h"
#include "sim/samples/sample_media.h"

namespace {

typedef std::uint64_t QWORD;
struct ChannelInfo {
    DWORD freq, chans, flags, ctype, origres, plugin, sample;
    const char* filename;
};
typedef void(__stdcall* SyncProc)(DWORD, DWORD, DWORD, void*);
typedef DWORD(__stdcall* StreamCreateFileFn)(BOOL, const void*, QWORD, QWORD, DWORD);
typedef DWORD(__stdcall* MusicLoadFn)(BOOL, const void*, QWORD, DWORD, DWORD, DWORD);
typedef BOOL(__stdcall* StreamFreeFn)(DWORD);
typedef BOOL(__stdcall* GetInfoFn)(DWORD, ChannelInfo*);
typedef QWORD(__stdcall* GetLengthFn)(DWORD, DWORD);
typedef double(__stdcall* Bytes2SecondsFn)(DWORD, QWORD);
typedef QWORD(__stdcall* Seconds2BytesFn)(DWORD, double);
typedef QWORD(__stdcall* FilePosFn)(DWORD, DWORD);
typedef DWORD(__stdcall* SetSyncFn)(DWORD, DWORD, QWORD, SyncProc, void*);
typedef DWORD(__stdcall* PlayFileFn)(const wchar_t*);
typedef DWORD(__stdcall* PlayUrlFn)(const wchar_t*, double);
typedef BOOL(__stdcall* SetPositionFn)(DWORD, QWORD);
typedef BOOL(__stdcall* StopFn)(DWORD);
typedef void(__stdcall* WaitSyncsFn)();
typedef const char*(__stdcall* TagsReadFn)(DWORD, const char*);
typedef DWORD(__stdcall* GetVersionFn)();
typedef BOOL(__stdcall* InitFn)(int, DWORD, DWORD, HWND, const void*);
typedef BOOL(__stdcall* FreeFn)();
typedef DWORD(__stdcall* GetDataFn)(DWORD, void*, DWORD);
typedef DWORD(__stdcall* LoadedMusicsFn)();

int passed = 0, failed = 0;

void Check(bool ok, const char* what, const std::string& detail = std::string()) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s %s\n", what, detail.c_str());
    }
}

template <typename Fn>
Fn Bind(HMODULE m, const char* name) {
    Fn f = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    Check(f != nullptr, "export", name);
    return f;
}

std::wstring Widen(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    return w;
}

struct SyncRecord {
    volatile LONG calls = 0;
    DWORD thread = 0;
    DWORD channel = 0;
};

void __stdcall OnSync(DWORD, DWORD channel, DWORD, void* user) {
    auto* r = static_cast<SyncRecord*>(user);
    r->thread = GetCurrentThreadId();
    r->channel = channel;
    InterlockedIncrement(&r->calls);
}

}  // namespace

int main() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    HMODULE bass = LoadLibraryW((folder + L"bass.dll").c_str());
    Check(bass != nullptr, "LoadLibrary bass.dll");
    Check(GetModuleHandleW(L"bass.dll") == bass, "GetModuleHandle bass.dll");
    HMODULE tags = LoadLibraryW((folder + L"tags.dll").c_str());
    Check(tags != nullptr, "LoadLibrary tags.dll");
    if (!bass || !tags) {
        std::printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }
    auto streamCreateFile = Bind<StreamCreateFileFn>(bass, "BASS_StreamCreateFile");
    auto musicLoad = Bind<MusicLoadFn>(bass, "BASS_MusicLoad");
    auto streamFree = Bind<StreamFreeFn>(bass, "BASS_StreamFree");
    auto musicFree = Bind<StreamFreeFn>(bass, "BASS_MusicFree");
    auto getVersion = Bind<GetVersionFn>(bass, "BASS_GetVersion");
    auto init = Bind<InitFn>(bass, "BASS_Init");
    auto bassFree = Bind<FreeFn>(bass, "BASS_Free");
    auto getData = Bind<GetDataFn>(bass, "BASS_ChannelGetData");
    auto loadedMusics = Bind<LoadedMusicsFn>(bass, "SIMBASS_LoadedMusics");
    auto getInfo = Bind<GetInfoFn>(bass, "BASS_ChannelGetInfo");
    auto getLength = Bind<GetLengthFn>(bass, "BASS_ChannelGetLength");
    auto bytes2Seconds = Bind<Bytes2SecondsFn>(bass, "BASS_ChannelBytes2Seconds");
    auto seconds2Bytes = Bind<Seconds2BytesFn>(bass, "BASS_ChannelSeconds2Bytes");
    auto filePos = Bind<FilePosFn>(bass, "BASS_StreamGetFilePosition");
    auto setSync = Bind<SetSyncFn>(bass, "BASS_ChannelSetSync");
    auto playFile = Bind<PlayFileFn>(bass, "SIMBASS_PlayFile");
    auto playUrl = Bind<PlayUrlFn>(bass, "SIMBASS_PlayUrl");
    auto setPosition = Bind<SetPositionFn>(bass, "SIMBASS_SetPosition");
    auto stop = Bind<StopFn>(bass, "SIMBASS_Stop");
    auto waitSyncs = Bind<WaitSyncsFn>(bass, "SIMBASS_WaitSyncs");
    auto tagsRead = Bind<TagsReadFn>(tags, "TAGS_Read");
    Check(GetProcAddress(bass, "BASS_StreamFree@4") == nullptr, "no decorated export");
    if (failed) {
        std::printf("%d passed, %d failed\n", passed, failed);
        return 1;
    }

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"sim_bass_smoke_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    char dirAnsi[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, 0, dir.c_str(), -1, dirAnsi, sizeof dirAnsi, nullptr, nullptr);
    std::string error;
    Check(simsamples::WriteSampleSet(dirAnsi, &error), "write samples", error);
    // One more copy under a Japanese name, written through the wide API.
    const std::wstring japanese = dir + L"\\\u591c\u660e\u3051.mp3";
    {
        simsamples::Bytes data;
        for (const auto& f : simsamples::MakeSampleSet())
            if (f.name == "vbr_xing_id3v24.mp3") data = f.data;
        win32::UniqueFile file(CreateFileW(japanese.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        Check(file && WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr),
              "write Japanese-named file");
    }

    const DWORD flags = 0x80200000;  // BASS_UNICODE | BASS_STREAM_DECODE, as the plugin passes
    const char* title = "%IFV2(%TITL,%UTF8(%TITL),)";
    struct Expect {
        const wchar_t* name;
        bool music;
        DWORD freq, chans, ctype;
        double seconds;
        const char* title;
    } expects[] = {
        {L"pcm16_stereo.wav", false, 44100, 2, 0x50001, 2.0, "PCM Sample"},
        {L"float_mono.wav", false, 22050, 1, 0x50003, 1.5, ""},
        {L"mono.aiff", false, 22050, 1, 0x10006, 1.5, ""},
        {L"tagged.flac", false, 44100, 2, 0x10900, 3.0, "FLAC Sample"},
        {L"cbr_id3v23.mp3", false, 44100, 2, 0x10005, 3.004, "Caf\xC3\xA9 CBR"},
        {L"vbr_xing_id3v24.mp3", false, 44100, 2, 0x10005, 115200 / 44100.0,
         "\xE5\xA4\x9C\xE6\x98\x8E\xE3\x81\x91\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
        {L"sample.mod", true, 44100, 2, 0x20000, 15.36, "vellumdb sample mod"},
        {L"album.wav", false, 44100, 2, 0x50001, 6.0, ""},
    };
    for (const Expect& e : expects) {
        std::wstring path = dir + L"\\" + e.name;
        char name[128];
        WideCharToMultiByte(CP_UTF8, 0, e.name, -1, name, sizeof name, nullptr, nullptr);
        DWORD h = streamCreateFile(FALSE, path.c_str(), 0, 0, flags);
        Check((h != 0) != e.music, "stream create", name);
        if (!h) {
            // Without the prescan flag a module has no byte length.
            h = musicLoad(FALSE, path.c_str(), 0, 0, flags, 0);
            Check(h != 0 && getLength(h, 0) == ~0ull, "module length without prescan", name);
            // A music is no stream: BASS_StreamFree keeps it, BASS_MusicFree frees it.
            Check(h != 0 && !streamFree(h) && loadedMusics() == 1, "stream free refuses a music", name);
            Check(h != 0 && musicFree(h) && loadedMusics() == 0, "music free", name);
            h = musicLoad(FALSE, path.c_str(), 0, 0, flags | 0x20000, 0);
        }
        Check(h != 0, "open", name);
        if (!h) continue;
        ChannelInfo info = {};
        Check(getInfo(h, &info) != 0, "info", name);
        Check(info.freq == e.freq && info.chans == e.chans && info.ctype == e.ctype, "info values", name);
        if (e.music) {
            Check(info.flags == 0x20000 + 0x200000 && info.filename == nullptr, "music flags", name);
        } else {
            Check(info.filename && std::wstring(reinterpret_cast<const wchar_t*>(info.filename)) == path, "filename",
                  name);
        }
        const double seconds = bytes2Seconds(h, getLength(h, 0));
        Check(seconds > e.seconds - 0.001 && seconds < e.seconds + 0.001, "seconds", name);
        const QWORD end = filePos(h, 2);
        Check(e.music ? end == ~0ull : end > 0 && end < 2000000, "file position", name);
        const char* t = tagsRead(h, title);
        Check(t && std::string(t) == e.title, "title", std::string(name) + ": " + (t ? t : "<null>"));
        Check((e.music ? musicFree(h) : streamFree(h)) != 0, "free", name);
        Check(tagsRead(h, title) == nullptr, "tags of a freed channel", name);
    }
    DWORD h = streamCreateFile(FALSE, japanese.c_str(), 0, 0, flags);
    Check(h != 0, "open Japanese-named file");
    Check(h && std::string(tagsRead(h, "%ARTI")) == "\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xA9\xE3\x83\xA0", "artist");
    streamFree(h);

    // Syncs on the playing channel, from another thread.
    SyncRecord pos, end, stopped;
    DWORD ch = playFile((dir + L"\\album.wav").c_str());
    Check(ch != 0, "play file");
    const QWORD trackEnd = seconds2Bytes(ch, 2.0) + seconds2Bytes(ch, 2.0);
    Check(trackEnd == 4ull * 44100 * 4, "seconds to bytes");
    Check(setSync(ch, 0, trackEnd, OnSync, &pos) != 0, "position sync");
    Check(setSync(ch, 2, 0, OnSync, &end) != 0, "end sync");
    setPosition(ch, trackEnd - 4);
    waitSyncs();
    Check(pos.calls == 0, "not yet crossed");
    setPosition(ch, trackEnd);
    waitSyncs();
    Check(pos.calls == 1 && pos.channel == ch && pos.thread != GetCurrentThreadId(),
          "position sync fired on sync thread");
    setPosition(ch, getLength(ch, 0));
    waitSyncs();
    Check(end.calls == 1 && end.thread == pos.thread, "end sync fired");
    streamFree(ch);
    ch = playUrl(L"http://radio.example/stream", 5.0);
    Check(ch != 0 && setSync(ch, 2, 0, OnSync, &stopped) != 0, "url channel");
    Check(stop(ch) != 0 && setPosition(ch, seconds2Bytes(ch, 5.0)) == 0, "stopped channel does not move");
    waitSyncs();
    Check(stopped.calls == 0, "stop fires nothing");
    streamFree(ch);

    // A player without a sound card: the "no sound" device plays nothing, and
    // draining a decoding channel fires its syncs on the draining thread.
    Check(getVersion() == 0x02040701, "version");
    Check(init(0, 44100, 0, nullptr, nullptr) != 0, "init no sound");
    Check(streamCreateFile(FALSE, (dir + L"\\album.wav").c_str(), 0, 0, 0x80000000) == 0, "no playing stream");
    SyncRecord drained;
    ch = streamCreateFile(FALSE, (dir + L"\\album.wav").c_str(), 0, 0, flags);
    Check(ch != 0 && setSync(ch, 2, 0, OnSync, &drained) != 0, "decoding channel");
    QWORD total = 0;
    for (static char block[65536];;) {
        const DWORD got = getData(ch, block, sizeof block);
        if (got == 0xFFFFFFFF) break;
        total += got;
    }
    Check(total == getLength(ch, 0) && drained.calls == 1 && drained.thread == GetCurrentThreadId(), "drained");
    streamFree(ch);
    Check(bassFree() != 0, "free device");

    for (const auto& f : simsamples::MakeSampleSet()) DeleteFileW((dir + L"\\" + Widen(f.name)).c_str());
    DeleteFileW(japanese.c_str());
    RemoveDirectoryW(dir.c_str());
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
