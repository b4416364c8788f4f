// sim_make_samples FOLDER: writes the sample media set (WAV PCM and float, FLAC,
// MP3 CBR with ID3v2.3 and VBR with Xing and ID3v2.4, a MOD, and a cue sheet with
// its album.wav) into an existing folder.
#include <cstdio>
#include <string>

#include "sim/samples/sample_media.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::string error;
    if (!simsamples::WriteSampleSet(argv[1], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (const simsamples::SampleFile& f : simsamples::MakeSampleSet())
        std::printf("%s (%zu bytes)\n", f.name.c_str(), f.data.size());
    return 0;
}
