#include "bench_data.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "library/rows.h"
#include "maintenance/register_file.h"
#include "platform/text.h"
#include "sim/bass/bass_api.h"
#include "sim/samples/sample_media.h"

namespace vellum::bench {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "vellum_bench: %s\n", what.c_str());
    std::exit(2);
}

AudioLibrary BindStandIn() {
    AudioLibrary audio;
    audio.StreamCreateFile = &BASS_StreamCreateFile;
    audio.MusicLoad = &BASS_MusicLoad;
    audio.StreamFree = &BASS_StreamFree;
    audio.MusicFree = &BASS_MusicFree;
    audio.ChannelGetInfo = [](AudioHandle handle, AudioChannelInfo* info) -> AudioBool {
        BASS_CHANNELINFO raw{};
        if (!BASS_ChannelGetInfo(handle, &raw)) return 0;
        *info = AudioChannelInfo{raw.freq,    raw.chans,  raw.flags,  raw.ctype,
                                 raw.origres, raw.plugin, raw.sample, raw.filename};
        return 1;
    };
    audio.ChannelGetLength = &BASS_ChannelGetLength;
    audio.ChannelBytes2Seconds = &BASS_ChannelBytes2Seconds;
    audio.StreamGetFilePosition = &BASS_StreamGetFilePosition;
    audio.TagsRead = &TAGS_Read;
    return audio;
}

std::string Number(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

void WriteFile(const std::string& name, const simsamples::Bytes& data) {
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) Fail("cannot write " + name);
    const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), out) == data.size();
    if (std::fclose(out) != 0 || !ok) Fail("cannot write " + name);
}

void TouchFile(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail("cannot create " + name);
    ::close(fd);
}

// The tags of media file i: a tenth of the artists and titles are not ASCII.
struct MediaTags {
    std::string title, artist, album, genre, date, comment, track, composer, albumArtist, disc;
};

MediaTags TagsOf(int i) {
    MediaTags tags;
    const int artist = i / 100, album = i / 10;
    tags.artist = (artist % 10 == 3 ? "Bj\xC3\xB6rk Ensemble " : "Artist ") + Number(artist, 3);
    tags.albumArtist = tags.artist;
    tags.album = "Album " + Number(album, 4);
    tags.title = (i % 7 == 0 ? "Caf\xC3\xA9 \xE5\xA4\x9C\xE6\x98\x8E\xE3\x81\x91 " : "Song ") + Number(i, 5);
    tags.genre = i % 2 == 0 ? "Electronic" : "Chamber Music";
    tags.date = std::to_string(1970 + i % 50);
    tags.comment = "Recorded live, take " + std::to_string(i % 4 + 1);
    tags.track = std::to_string(i % 10 + 1);
    tags.composer = "Composer " + Number(i % 37, 2);
    tags.disc = "1";
    return tags;
}

std::string MediaName(int i) {
    const MediaTags tags = TagsOf(i);
    return "C:\\Music\\" + tags.artist + "\\" + tags.album + "\\" + Number(i % 10 + 1, 2) + " - " + tags.title +
           (i % 2 == 0 ? ".wav" : ".flac");
}

simsamples::Bytes MediaBytes(int i) {
    const MediaTags tags = TagsOf(i);
    constexpr std::uint32_t kFrames = 2000;
    if (i % 2 == 0) {
        simsamples::WavSpec wav;
        wav.frames = kFrames;
        wav.info = {{"INAM", tags.title}, {"IART", tags.artist},  {"IPRD", tags.album}, {"IGNR", tags.genre},
                    {"ICRD", tags.date},  {"ICMT", tags.comment}, {"ITRK", tags.track}, {"IMUS", tags.composer}};
        return simsamples::MakeWav(wav);
    }
    simsamples::FlacSpec flac;
    flac.frames = kFrames;
    flac.blockSize = 1024;
    flac.comments = {"TITLE=" + tags.title,       "ARTIST=" + tags.artist,     "ALBUM=" + tags.album,
                     "GENRE=" + tags.genre,       "DATE=" + tags.date,         "COMMENT=" + tags.comment,
                     "TRACKNUMBER=" + tags.track, "COMPOSER=" + tags.composer, "ALBUMARTIST=" + tags.albumArtist,
                     "DISCNUMBER=" + tags.disc};
    return simsamples::MakeFlac(flac);
}

// One prepared INSERT of all 25 columns, for building large libraries fast.
class ShapedRowWriter {
public:
    explicit ShapedRowWriter(sqlite3* database) {
        const std::string sql =
            "INSERT INTO list values(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,"
            "?17,?18,?19,?20,?21,?22,?23,?24,?25)";
        if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK)
            Fail("cannot prepare the row writer");
    }
    ~ShapedRowWriter() { sqlite3_finalize(statement_); }
    ShapedRowWriter(const ShapedRowWriter&) = delete;
    ShapedRowWriter& operator=(const ShapedRowWriter&) = delete;

    // A row shaped like a registered MP3 of an archive: key `name`, number `i`.
    void Write(const std::string& name, int i) {
        const std::string file = name.substr(name.find_last_of('\\') + 1);
        const std::string artist = "Archive Artist " + Number(i / 300, 3);
        const std::string texts[] = {name,
                                     file,
                                     "",
                                     "mp3",
                                     "Piece " + Number(i, 6),
                                     artist,
                                     "Album " + Number(i / 12, 4),
                                     "Classical",
                                     "1999",
                                     "",
                                     std::to_string(i % 12 + 1),
                                     "",
                                     "",
                                     "",
                                     artist,
                                     "1"};
        const int textColumns[] = {0, 1, 2, 8, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
        for (int k = 0; k < 16; ++k)
            sqlite3_bind_text(statement_, textColumns[k] + 1, texts[k].c_str(), -1, SQLITE_TRANSIENT);
        const int numbers[] = {0, 180 + i % 200, 2, 44100, 320000, i % 6, i % 50, 1700000000 + i, 0};
        const int numberColumns[] = {3, 4, 5, 6, 7, 9, 10, 11, 12};
        for (int k = 0; k < 9; ++k) sqlite3_bind_int(statement_, numberColumns[k] + 1, numbers[k]);
        if (sqlite3_step(statement_) != SQLITE_DONE) Fail("cannot insert " + name);
        sqlite3_reset(statement_);
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

std::string ArchiveName(int i) {
    return "C:\\Music\\Archive " + Number(i / 1200, 3) + "\\Album " + Number(i / 12, 5) + "\\" + Number(i % 12 + 1, 2) +
           " - Piece " + Number(i, 6) + ".mp3";
}

std::vector<int> Shuffled(int count, unsigned seed) {
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
    std::mt19937 random(seed);
    std::shuffle(order.begin(), order.end(), random);
    return order;
}

void BuildLibrary100k(const std::string& file) {
    LibraryConnection connection;
    if (!OpenLibrary(connection, file, true)) Fail("cannot open " + file);
    for (const std::u16string& path : MediaPaths()) RegisterFile(StandInContext(), connection, 0, path, 0);
    MustExec(connection.Handle(), "BEGIN");
    {
        ShapedRowWriter writer(connection.Handle());
        for (int i : Shuffled(kLibraryRows - kMediaFiles, 7)) writer.Write(ArchiveName(i), i);
    }
    MustExec(connection.Handle(), "COMMIT");
}

std::string SheetName(int sheet) { return "C:\\Music\\Cue\\Live " + Number(sheet, 4) + "\\Concert.cue"; }
std::string PlainName(int plain) {
    return "C:\\Music\\Singles\\Artist " + Number(plain / 60, 4) + "\\Single " + Number(plain, 6) + ".mp3";
}

constexpr int kSheets = 2000, kTracksPerSheet = 20, kPlainFiles = 60000;

PurgeSet BuildPurgeLibrary() {
    PurgeSet set;
    set.databaseFile = "purge100k.db";
    LibraryConnection connection;
    if (!OpenLibrary(connection, set.databaseFile, true)) Fail("cannot open the purge library");
    MustExec(connection.Handle(), "BEGIN");
    ShapedRowWriter writer(connection.Handle());
    // Rows arrive as users add them: sheets and singles mixed.
    for (int item : Shuffled(kSheets + kPlainFiles / kTracksPerSheet, 11)) {
        if (item < kSheets) {
            if (item % 2 == 0) TouchFile(SheetName(item));
            for (int track = 1; track <= kTracksPerSheet; ++track)
                writer.Write(SheetName(item) + "/" + std::to_string(track), item * kTracksPerSheet + track);
            set.sheetRows += kTracksPerSheet;
            if (item % 2 != 0) set.missingRows += kTracksPerSheet;
            continue;
        }
        for (int k = 0; k < kTracksPerSheet; ++k) {
            const int plain = (item - kSheets) * kTracksPerSheet + k;
            if (plain % 2 == 0) TouchFile(PlainName(plain));
            else ++set.missingRows;
            writer.Write(PlainName(plain), kSheets * kTracksPerSheet + plain);
        }
    }
    MustExec(connection.Handle(), "COMMIT");
    set.rows = set.sheetRows + kPlainFiles;
    return set;
}

}  // namespace

const AudioLibrary& StandInAudio() {
    static const AudioLibrary audio = BindStandIn();
    return audio;
}

ProbeContext StandInContext() { return ProbeContext{StandInAudio(), nullptr}; }

const std::vector<std::u16string>& MediaPaths() {
    static const std::vector<std::u16string> paths = [] {
        std::vector<std::u16string> made;
        for (int i = 0; i < kMediaFiles; ++i) {
            const std::string name = MediaName(i);
            WriteFile(name, MediaBytes(i));
            made.push_back(platform::Utf8ToUtf16(name));
        }
        return made;
    }();
    return paths;
}

BatchPathList MediaBatch() {
    BatchPathList list;
    for (const std::u16string& path : MediaPaths()) list.Append(path);
    return list;
}

const std::string& Library100kFile() {
    static const std::string file = [] {
        const std::string name = "library100k.db";
        BuildLibrary100k(name);
        return name;
    }();
    return file;
}

std::string CopyLibrary(const std::string& name) {
    RemoveDatabase(name);
    fs::copy_file(Library100kFile(), name, fs::copy_options::overwrite_existing);
    return name;
}

const std::vector<std::string>& Library100kKeys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> made;
        for (int i : Shuffled(kLibraryRows - kMediaFiles, 13)) made.push_back(ArchiveName(i));
        return made;
    }();
    return keys;
}

const PurgeSet& PurgeLibrary() {
    static const PurgeSet set = BuildPurgeLibrary();
    return set;
}

std::vector<std::u16string> LinkedMediaPaths(std::size_t count) {
    static std::vector<std::u16string> links;
    const std::vector<std::u16string>& media = MediaPaths();
    while (links.size() < count) {
        const std::size_t i = links.size();
        const std::string target = platform::Utf16ToUtf8(media[i % media.size()]);
        // "C:\Music\..." becomes "C:\Links 007\Music\...": one more name per copy.
        const std::string name = "C:\\Links " + Number(static_cast<int>(i / media.size()), 3) + target.substr(2);
        if (::link(target.c_str(), name.c_str()) != 0) Fail("cannot link " + name);
        links.push_back(platform::Utf8ToUtf16(name));
    }
    return std::vector<std::u16string>(links.begin(), links.begin() + static_cast<std::ptrdiff_t>(count));
}

bool OpenLibrary(LibraryConnection& connection, const std::string& file, bool synchronousOff) {
    if (!connection.Open(file)) return false;
    if (!synchronousOff) return true;
    // On both of the plugin's connections to the file: its writer and the shared handle.
    MustExec(connection.Handle(), "PRAGMA synchronous=OFF");
    return connection.ReadWith([](sqlite3* writer) {
        return sqlite3_exec(writer, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    }) == SQLITE_OK;
}

void RemoveDatabase(const std::string& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
    fs::remove(file + "-journal", ignored);
    const std::string store = WorkStore::PathFor(file);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(store + suffix, ignored);
}

void MustExec(sqlite3* database, const char* sql) {
    if (sqlite3_exec(database, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail(std::string("statement failed: ") + sql + ": " + sqlite3_errmsg(database));
}

void OpenScratchLibrary(LibraryConnection& connection, const std::string& file) {
    RemoveDatabase(file);
    if (!OpenLibrary(connection, file, true)) Fail("cannot open " + file);
}

void PrepareMediaTable(LibraryConnection& connection, MediaTable table) {
    sqlite3* database = connection.Handle();
    if (table == MediaTable::Fresh) return MustExec(database, "DELETE FROM list");
    Statement count(database, "SELECT COUNT(*) FROM list");
    if (sqlite3_step(count.Get()) == SQLITE_ROW && sqlite3_column_int(count.Get(), 0) == kMediaFiles) return;
    MustExec(database, "BEGIN");
    MustExec(database, "DELETE FROM list");
    for (const RecordOwner& record : ProbedMediaRecords()) MustExec(database, BuildInsertStatement(*record).c_str());
    MustExec(database, "COMMIT");
}

RawDatabase::RawDatabase(const std::string& file, int flags) {
    if (sqlite3_open_v2(file.c_str(), &database_, flags, nullptr) != SQLITE_OK) Fail("cannot open " + file);
}

RawDatabase::~RawDatabase() { sqlite3_close(database_); }

const std::vector<RecordOwner>& ProbedMediaRecords() {
    static const std::vector<RecordOwner> records = [] {
        std::vector<RecordOwner> probed;
        for (const std::u16string& path : MediaPaths()) {
            probed.emplace_back(ProbeFreshRecord(StandInContext(), 0, path, 0));
            if (!probed.back()) Fail("the stand-in could not probe " + platform::Utf16ToUtf8(path));
        }
        return probed;
    }();
    return records;
}

}  // namespace vellum::bench
