// The sample media set that the tests and sim_make_samples write: one file of each
// kind the stand-in audio library reads, and a cue sheet over album.wav.
#include "sim/samples/sample_media.h"

#include <cstdio>

namespace simsamples {

std::vector<SampleFile> MakeSampleSet() {
    std::vector<SampleFile> set;

    WavSpec pcm;
    pcm.frames = 88200;  // 2 s
    pcm.info = {{"INAM", "PCM Sample"}, {"IART", "Vellum Artist"}, {"IPRD", "Vellum Album"},
                {"IGNR", "Ambient"},    {"ICRD", "2024"},          {"ICMT", "16-bit stereo PCM"},
                {"ITRK", "1"},          {"ICOP", "(c) vellumdb"}};
    set.push_back({"pcm16_stereo.wav", MakeWav(pcm)});

    WavSpec flt;
    flt.rate = 22050;
    flt.channels = 1;
    flt.bits = 32;
    flt.isFloat = true;
    flt.frames = 33075;  // 1.5 s
    set.push_back({"float_mono.wav", MakeWav(flt)});

    AiffSpec aiff;
    aiff.rate = 22050;
    aiff.channels = 1;
    aiff.frames = 33075;  // 1.5 s
    set.push_back({"mono.aiff", MakeAiff(aiff)});

    FlacSpec flac;
    flac.frames = 132300;  // 3 s
    flac.comments = {"TITLE=FLAC Sample",
                     "ARTIST=Vellum Artist",
                     "ALBUM=Vellum Album",
                     "GENRE=Electronic",
                     "DATE=2022",
                     "COMMENT=constant subframes",
                     "TRACKNUMBER=3",
                     "COMPOSER=Vellum Composer",
                     "COPYRIGHT=(c) vellumdb",
                     "SUBTITLE=Quiet Version",
                     "ALBUMARTIST=Various Artists",
                     "DISCNUMBER=2"};
    set.push_back({"tagged.flac", MakeFlac(flac)});

    Id3Spec v23;
    v23.version = 3;
    v23.frames = {TextFrame("TIT2", "Caf\xC3\xA9 CBR", 0),
                  TextFrame("TPE1", "Vellum Artist", 1),
                  TextFrame("TALB", "Vellum Album", 0),
                  TextFrame("TCON", "(26)", 0),
                  TextFrame("TYER", "2023", 0),
                  TextFrame("TRCK", "2/5", 0),
                  TextFrame("TCOM", "Vellum Composer", 1),
                  TextFrame("TPE2", "Vellum Band", 0),
                  TextFrame("TPOS", "1/1", 0),
                  CommentFrame("", "ID3v2.3 comment", 1)};
    Mp3Spec cbr;
    cbr.frames = 115;  // about 3 s at 44100 Hz
    cbr.id3v2 = MakeId3v2(v23);
    set.push_back({"cbr_id3v23.mp3", MakeMp3(cbr)});

    Id3Spec v24;
    v24.version = 4;
    v24.frames = {
        TextFrame("TIT2", "\xE5\xA4\x9C\xE6\x98\x8E\xE3\x81\x91\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"),
        TextFrame("TPE1", "\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xA9\xE3\x83\xA0"),
        TextFrame("TALB", "VBR Album"),
        TextFrame("TCON", "Electronic"),
        TextFrame("TDRC", "2024-05-01"),
        TextFrame("TRCK", "7"),
        TextFrame("TCOM", "Vellum Composer"),
        TextFrame("TCOP", "(c) vellumdb"),
        TextFrame("TIT3", "Xing Edit"),
        TextFrame("TPE2", "Various Artists"),
        TextFrame("TPOS", "1/2"),
        CommentFrame("", "UTF-8 comment \xE2\x9C\x93"),
    };
    Mp3Spec vbr;
    vbr.header = Mp3Spec::kXing;
    vbr.vbrBitrates = {64, 96, 128, 160, 112};
    vbr.frames = 100;  // 115200 samples
    vbr.id3v2 = MakeId3v2(v24);
    set.push_back({"vbr_xing_id3v24.mp3", MakeMp3(vbr)});

    ModSpec mod;
    mod.title = "vellumdb sample mod";
    mod.orders = {0, 1, 0};
    for (int r = 0; r < 64; r += 8) mod.cells.push_back({0, r, 0, 1, 428, 0, 0});
    mod.cells.push_back({1, 0, 1, 0, 0, 0xF, 3});  // speed 3 from here on
    for (int r = 0; r < 64; r += 4) mod.cells.push_back({1, r, 2, 1, 320, 0, 0});
    set.push_back({"sample.mod", MakeMod(mod)});

    WavSpec album;
    album.frames = 6 * 44100;
    album.toneHz = 330;
    set.push_back({"album.wav", MakeWav(album)});

    std::string cue =
        "\xEF\xBB\xBF"
        "REM GENRE \"Ambient\"\r\n"
        "REM DATE 2024\r\n"
        "REM COMMENT \"vellumdb sample album\"\r\n"
        "REM COMPOSER \"Vellum Composer\"\r\n"
        "REM DISCNUMBER 1\r\n"
        "PERFORMER \"Album Performer\"\r\n"
        "TITLE \"Sample Album\"\r\n"
        "FILE \"album.wav\" WAVE\r\n"
        "  TRACK 01 AUDIO\r\n"
        "    TITLE \"Opening\"\r\n"
        "    PERFORMER \"First Performer\"\r\n"
        "    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    TITLE \"Interlude\"\r\n"
        "    PERFORMER \"Second Performer\"\r\n"
        "    INDEX 01 00:02:00\r\n"
        "  TRACK 03 AUDIO\r\n"
        "    TITLE \"\xE7\xB5\x82\xE6\x9B\xB2\"\r\n"
        "    PERFORMER \"Third Performer\"\r\n"
        "    INDEX 01 00:04:00\r\n";
    set.push_back({"album.cue", Bytes(cue.begin(), cue.end())});
    return set;
}

bool WriteSampleSet(const std::string& folder, std::string* error) {
    for (const SampleFile& f : MakeSampleSet()) {
        std::string path = folder + "/" + f.name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        bool ok = out && std::fwrite(f.data.data(), 1, f.data.size(), out) == f.data.size();
        if (out && std::fclose(out) != 0) ok = false;
        if (!ok) {
            if (error) *error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

}  // namespace simsamples
