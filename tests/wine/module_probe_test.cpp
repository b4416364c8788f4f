// Tracker modules probed by opening their files: every one is loaded with
// BASS_MusicLoad and must be freed again. The stand-in bass.dll, like the
// genuine library, keeps a module that BASS_StreamFree is asked to free, and
// counts the modules it holds.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host_run.h"
#include "in_process_plugin.h"
#include "sim/samples/sample_media.h"

namespace vellum::wine {
namespace {

typedef std::uint32_t(__stdcall* LoadedMusicsFn)();

bool WriteFile(const std::wstring& path, const simsamples::Bytes& data) {
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    return std::fclose(file) == 0 && written;
}

// Ten modules of different songs, each added a hundred times: a thousand probes.
TEST(ModuleProbe, NoMusicOutlivesItsProbeThroughAThousandAddFiles) {
    HostFolder folder;
    win32::UniqueModule bass(LoadLibraryW((ArtifactFolder() + L"\\bass.dll").c_str()));
    ASSERT_TRUE(bass);
    auto loadedMusics =
        reinterpret_cast<LoadedMusicsFn>(reinterpret_cast<void*>(GetProcAddress(bass.Get(), "SIMBASS_LoadedMusics")));
    ASSERT_NE(loadedMusics, nullptr);
    std::vector<std::string> paths;
    for (int song = 0; song < 10; ++song) {
        simsamples::ModSpec spec;
        spec.title = "song " + std::to_string(song);
        spec.orders.assign(static_cast<std::size_t>(song + 1), 0);
        const std::wstring path = folder.Path() + L"\\song" + std::to_wstring(song) + L".mod";
        ASSERT_TRUE(WriteFile(path, simsamples::MakeMod(spec)));
        paths.push_back(WideToUtf8(path));
    }
    {
        LoadedPlugin plugin(folder);
        ASSERT_TRUE(plugin.Loaded());
        const VellumLibraryInterface* library = plugin.Interface();
        for (int round = 0; round < 100; ++round)
            for (const std::string& path : paths) library->AddFile(path.c_str());
        EXPECT_EQ(loadedMusics(), 0u);
        VellumTrackRecord* record = library->GetRecord(paths[9].c_str());
        ASSERT_NE(record, nullptr);  // probed and stored, as a module
        EXPECT_EQ(library->GetNumberField(record, VELLUMDB_NUMBER_SAMPLINGRATE), 44100);
        library->FreeRecord(record);
    }
    EXPECT_EQ(loadedMusics(), 0u);
}

}  // namespace
}  // namespace vellum::wine
