#include "load_world.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "api/plugin_state.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "probe/track_source.h"
#include "sim/bass/bass_api.h"
#include "sim/samples/sample_media.h"

namespace vellum::load {
namespace {

namespace fs = std::filesystem;

static_assert(sizeof(AudioChannelInfo) == sizeof(BASS_CHANNELINFO), "the two channel records agree");

// The stand-in audio library, bound the way the plugin binds bass.dll.
AudioLibrary BindStandIn() {
    AudioLibrary audio;
    audio.StreamCreateFile = BASS_StreamCreateFile;
    audio.MusicLoad = BASS_MusicLoad;
    audio.StreamFree = BASS_StreamFree;
    audio.MusicFree = BASS_MusicFree;
    audio.ChannelGetInfo = [](AudioHandle handle, AudioChannelInfo* info) {
        return BASS_ChannelGetInfo(handle, reinterpret_cast<BASS_CHANNELINFO*>(info));
    };
    audio.ChannelGetLength = BASS_ChannelGetLength;
    audio.ChannelBytes2Seconds = BASS_ChannelBytes2Seconds;
    audio.StreamGetFilePosition = BASS_StreamGetFilePosition;
    audio.TagsRead = TAGS_Read;
    return audio;
}

// A short WAV or FLAC file whose tags and format vary with `seed`; tags hold a
// quote and non-ASCII text on purpose.
simsamples::Bytes MakeMedia(const std::string& name, int seed) {
    const std::string title = "Title " + std::to_string(seed) + " don't \xE2\x99\xAA";
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".flac") == 0) {
        simsamples::FlacSpec flac;
        flac.rate = 8000;
        flac.channels = static_cast<std::uint8_t>(1 + seed % 2);
        flac.frames = 8000u * (1 + seed % 3);
        flac.comments = {"TITLE=" + title, "ARTIST=Load", "ALBUM=Harness", "TRACKNUMBER=" + std::to_string(seed)};
        return simsamples::MakeFlac(flac);
    }
    simsamples::WavSpec wav;
    wav.rate = 8000;
    wav.channels = static_cast<std::uint16_t>(1 + seed % 2);
    wav.frames = 8000u * (1 + seed % 3);
    wav.info = {{"INAM", title}, {"IART", "Load"}, {"IPRD", "Harness"}, {"ICMT", "50% off, C:\\x"}};
    return simsamples::MakeWav(wav);
}

bool IsFileName(const std::string& name) { return name.find("://") == std::string::npos; }

}  // namespace

void PlayLedger::Credit(std::int32_t lastplayed) {
    std::lock_guard<std::mutex> hold(mutex_);
    times_.push_back(lastplayed);
}

std::size_t PlayLedger::Count() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return times_.size();
}

bool PlayLedger::Holds(std::int32_t lastplayed) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::find(times_.begin(), times_.end(), lastplayed) != times_.end();
}

long Counters::Total() const {
    return playStarts + credits + addFiles + removeFiles + getRecords + batchItems + listenerChanges + fanOuts;
}

void Failures::Report(const std::string& what) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (++count_ <= 20) std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

World::World(int pluginThreads) {
    char pattern[] = "/tmp/vellumdb-load-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    // Track names hold no "/", so natively they are plain files in this folder.
    previousFolder_ = fs::current_path().string();
    fs::current_path(folder_);
    State().audio = BindStandIn();
    if (!State().connection.Open(folder_ + "/vellumdb.db")) throw std::runtime_error("cannot open the library");
    MakeTracks(pluginThreads);
}

World::~World() {
    State().connection.Close();
    State().audio = AudioLibrary{};
    fs::current_path(previousFolder_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

ProbeContext World::Context() const { return ProbeContext{State().audio, nullptr}; }

Track World::MakeTrack(const std::string& name) {
    if (IsFileName(name) && name.find("gone") == std::string::npos) {
        const simsamples::Bytes media = MakeMedia(name, ++mediaSeed_);
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(media.data()), media.size());
    }
    Track track;
    track.utf8 = name;
    track.wide = platform::Utf8ToUtf16(name);
    RecordOwner probed(NewTrackRecord());
    ProbePath(Context(), *probed, track.wide);
    if (probed->file_name == nullptr) return track;  // no file: never a row
    track.length = probed->statDuration;
    // A play start probes the host's playing channel instead: same row.
    const AudioHandle channel =
        IsFileName(name) ? SIMBASS_PlayFile(track.wide.c_str()) : SIMBASS_PlayUrl(track.wide.c_str(), 60.0);
    RecordOwner played(NewTrackRecord());
    ProbeChannel(Context(), channel, track.wide, *played, track.length);
    BASS_ChannelFree(channel);
    const std::string differs = Mismatch(*played, *probed, true);
    if (!differs.empty()) failures.Report(name + ": a play-start probe stores another " + differs);
    track.reference = std::move(probed);
    return track;
}

void World::MakeTracks(int pluginThreads) {
    const char* const stems[] = {"played_", "played_don't_", "played_caf\xC3\xA9 100%_"};
    const char* const kinds[] = {".wav", ".flac", ".wav"};
    for (int i = 0; i < 12; ++i) played.push_back(MakeTrack(stems[i % 3] + std::to_string(i) + kinds[i % 3]));
    played.push_back(MakeTrack("http://load/played/radio?q='1'"));
    ledgers = std::vector<PlayLedger>(played.size());
    for (int i = 0; i < 24; ++i)
        batched.push_back(MakeTrack("batch_" + std::to_string(i) + (i % 4 == 0 ? ".flac" : ".wav")));
    for (int i = 0; i < 3; ++i) {
        batched.push_back(MakeTrack("batch_gone_" + std::to_string(i) + ".wav"));
        batched.push_back(MakeTrack("http://load/batch/" + std::to_string(i)));
    }
    owned.resize(pluginThreads);
    for (int t = 0; t < pluginThreads; ++t)
        for (int i = 0; i < 12; ++i) {
            const std::string id = std::to_string(t) + "_" + std::to_string(i);
            owned[t].push_back(MakeTrack(i % 3 == 2 ? "http://load/api/" + id + "?%27'" : "api_" + id + ".wav"));
        }
    for (const auto* set : {&played, &batched})
        for (const Track& track : *set)
            if (!track.reference && track.utf8.find("gone") == std::string::npos)
                failures.Report(track.utf8 + ": the stand-in audio library does not read it");
    // Played rows exist from the start, so a reader that misses one has found a loss.
    for (Track& track : played) {
        RegisterFile(Context(), State().connection, 0, track.wide, 0);
        track.stored = true;
    }
}

std::string World::Mismatch(const TrackRecord& row, const TrackRecord& reference, bool withPlays) {
    for (int column = 0; column < kColumnCount; ++column) {
        const std::string name = kColumns[column].name;
        if (!withPlays && (name == "playcount" || name == "lastplayed")) continue;
        if (kColumns[column].kind == FieldKind::Number) {
            if (NumberField(row, column) != NumberField(reference, column)) return name;
            continue;
        }
        const char* got = TextField(row, column);
        const char* want = TextField(reference, column);
        if (std::strcmp(got != nullptr ? got : "", want != nullptr ? want : "") != 0) return name;
    }
    return "";
}

}  // namespace vellum::load
