// Probing real media through the stand-in bass.dll and tags.dll, and cue
// tracks through the stand-in host's open-track function: the whole sample
// set is added through the playlist menu and read back from the database.
#include <gtest/gtest.h>

#include "host_run.h"

namespace vellum::wine {
namespace {

class Probing : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override {
        folder_.Install();
        const std::wstring command = L"\"" + ArtifactFolder() + L"\\sim_make_samples.exe\" \"" + folder_.Path() + L"\"";
        StartedProcess samples;
        ASSERT_TRUE(StartProcess(command, samples, CREATE_NO_WINDOW));
        WaitForSingleObject(samples.process.Get(), 60000);
        std::string script;
        for (const char* name : {"pcm16_stereo.wav", "float_mono.wav", "mono.aiff", "tagged.flac", "cbr_id3v23.mp3",
                                 "vbr_xing_id3v24.mp3", "sample.mod", "album.cue/1", "album.cue/3"})
            script += "add " + Media(name) + "\n";
        HostLog log = folder_.Run(script + "select all\ncommand 61600\n", std::wstring(L"--cue-text ") + GetParam());
        ASSERT_EQ(log.exitCode, 0) << log.Text();
    }

    std::string Media(const std::string& name) const { return WideToUtf8(folder_.Path()) + "\\" + name; }
    std::string Row(const std::string& name, const std::string& columns) {
        return QueryValue(folder_.Database(),
                          "SELECT " + columns + " FROM list WHERE file_name = '" + Media(name) + "'");
    }

    HostFolder folder_;
};

TEST_P(Probing, StreamPropertiesOfEveryFormat) {
    const std::string columns =
        "statDuration || '|' || statChannels || '|' || statSamplingrate || '|' || "
        "infoCodec_sub || '|' || file_ext || '|' || file_size";
    EXPECT_EQ(Row("pcm16_stereo.wav", columns), "2|2|44100|wave pcm||0");
    EXPECT_EQ(Row("float_mono.wav", columns), "1|1|22050|wave float||0");
    EXPECT_EQ(Row("mono.aiff", columns), "1|1|22050|aiff||0");
    // The sound data alone, 16 bits at 22,050 Hz: 352,800 bits per second.
    EXPECT_EQ(Row("mono.aiff", "statBitrate"), "352800");
    EXPECT_EQ(Row("tagged.flac", columns), "3|2|44100|flac||0");
    EXPECT_EQ(Row("cbr_id3v23.mp3", columns), "3|2|44100|mp3||0");
    EXPECT_EQ(Row("vbr_xing_id3v24.mp3", columns), "2|2|44100|mp3||0");
    // No stream opens a module: the module loader does, and its type has no codec
    // name. Loaded without the prescan flag, a module has no byte length, so it
    // is stored with duration 0 and no bit rate.
    EXPECT_EQ(Row("sample.mod", columns), "0|2|44100|||0");
    EXPECT_EQ(Row("sample.mod", "statBitrate"), "0");
    // A constant bit rate reads as its nominal rate, measured over the whole
    // file: the tag's bytes and the last partial second move it by a few
    // percent, far less than the step to the next rate a frame can have.
    constexpr int kNominalBitRate = 128000;  // the sample's frames (tests/samples)
    constexpr int kNextRateStep = 16000;     // MPEG-1 layer III: 112, 128, 160 kbit/s
    const int cbr = std::stoi(Row("cbr_id3v23.mp3", "statBitrate"));
    EXPECT_NEAR(cbr, kNominalBitRate, kNextRateStep / 2);
}

TEST_P(Probing, TagsOfFlacAndBothId3Versions) {
    // All twelve fields, each from its own Vorbis comment.
    EXPECT_EQ(Row("tagged.flac",
                  "tagTitle || '|' || tagArtist || '|' || tagAlbum || '|' || tagGenre || '|' || "
                  "tagDate || '|' || tagComment || '|' || tagTracknumber || '|' || tagPerformer || "
                  "'|' || tagCopyright || '|' || tagSubtitle || '|' || tagAlbumArtist || '|' || "
                  "tagDiscNumber"),
              "FLAC Sample|Vellum Artist|Vellum Album|Electronic|2022|constant subframes|3|Vellum Composer|"
              "(c) vellumdb|Quiet Version|Various Artists|2");
    EXPECT_EQ(Row("cbr_id3v23.mp3", "tagTitle || '|' || tagPerformer || '|' || tagAlbumArtist"),
              "Café CBR|Vellum Composer|Vellum Band");
    EXPECT_EQ(Row("vbr_xing_id3v24.mp3", "tagTitle"), "夜明けのテスト");
    EXPECT_EQ(Row("float_mono.wav", "tagTitle || tagArtist || tagPerformer"), "");
}

TEST_P(Probing, CueTracksTakeTheirLengthFromTheHostAndTheirTagsFromTheSheet) {
    EXPECT_EQ(Row("album.cue/1",
                  "statDuration || '|' || infoCodec_sub || '|' || tagTitle || '|' || tagArtist || "
                  "'|' || tagAlbum || '|' || tagAlbumArtist || '|' || tagPerformer || '|' || "
                  "tagGenre || '|' || tagTracknumber"),
              "2|wave pcm|Opening|First Performer|Sample Album|Album Performer|Vellum Composer|\"Ambient\"|1");
    // The tags come from the sheet as UTF-8; the display title is the host's, and an
    // ANSI host in code page 1252 has no form for these characters.
    const bool wideHost = std::wstring(GetParam()) == L"wide";
    EXPECT_EQ(Row("album.cue/3", "tagTitle || '|' || file_title"), wideHost ? "終曲|終曲" : "終曲|??");
}

INSTANTIATE_TEST_SUITE_P(HostText, Probing, ::testing::Values(L"wide", L"ansi"));

}  // namespace
}  // namespace vellum::wine
