// The fixture of the stand-in audio library's tests: a temporary folder that
// files from the sample builders (sim/samples) are written into, and the
// plugin's way of opening a file and reading its tags.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/bass/bass_api.h"
#include "sim/bass/text_util.h"
#include "sim/samples/sample_media.h"

namespace simbass_test {

namespace fs = std::filesystem;
using simsamples::Bytes;

constexpr std::uint32_t kProbeFlags = SIMBASS_UNICODE | SIMBASS_STREAM_DECODE;  // as the plugin passes
constexpr std::uint64_t kFail64 = ~0ull;
constexpr const char* kTitle = "%IFV2(%TITL,%UTF8(%TITL),)";

inline const char* const kTagFormats[12] = {
    "%IFV2(%TITL,%UTF8(%TITL),)", "%IFV2(%ARTI,%UTF8(%ARTI),)", "%IFV2(%ALBM,%UTF8(%ALBM),)",
    "%IFV2(%GNRE,%UTF8(%GNRE),)", "%IFV2(%YEAR,%UTF8(%YEAR),)", "%IFV2(%CMNT,%UTF8(%CMNT),)",
    "%IFV2(%TRCK,%UTF8(%TRCK),)", "%IFV2(%COMP,%UTF8(%COMP),)", "%IFV2(%COPY,%UTF8(%COPY),)",
    "%IFV2(%SUBT,%UTF8(%SUBT),)", "%IFV2(%AART,%UTF8(%AART),)", "%IFV2(%DISC,%UTF8(%DISC),)"};

class SimBassTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        dir_ = fs::temp_directory_path() /
               ("sim_bass_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        SIMBASS_WaitSyncs();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Writes a file into the temporary folder; returns its UTF-16 path.
    std::u16string Write(const std::string& name, const Bytes& data) {
        fs::path p = dir_ / fs::u8path(name);
        std::FILE* f = std::fopen(p.string().c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
            std::fclose(f);
        }
        return simbass::Utf8ToUtf16(p.string());
    }
    Bytes Sample(const std::string& name) {
        for (const auto& f : simsamples::MakeSampleSet())
            if (f.name == name) return f.data;
        ADD_FAILURE() << "no sample " << name;
        return {};
    }
    // Opens a file as the plugin does: a stream, else a music.
    static std::uint32_t Open(const std::u16string& path) {
        std::uint32_t h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, kProbeFlags);
        return h ? h : BASS_MusicLoad(0, path.c_str(), 0, 0, kProbeFlags, 0);
    }
    static std::string Tag(std::uint32_t h, const char* fmt) {
        const char* s = TAGS_Read(h, fmt);
        return s ? s : "<null>";
    }
    static std::vector<std::string> AllTags(std::uint32_t h) {
        std::vector<std::string> out;
        for (const char* f : kTagFormats) out.push_back(Tag(h, f));
        return out;
    }
    static BASS_CHANNELINFO Info(std::uint32_t h) {
        BASS_CHANNELINFO info{};
        EXPECT_TRUE(BASS_ChannelGetInfo(h, &info));
        return info;
    }

    fs::path dir_;
};

}  // namespace simbass_test
