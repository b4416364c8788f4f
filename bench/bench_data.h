// The data the benchmarks work on, built once per run inside the run's own
// work folder (the current directory while vellum_bench runs).
//
// Track paths are written the Windows way ("C:\Music\...\01 - x.wav"): the
// core classifies any path holding "/" as a cue or host track, so a POSIX path
// would never reach the file reader. On Linux such a name is one plain file
// name in the current directory, which the stand-in audio library opens as it
// is; the purge scan's stat() finds it the same way.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <vector>

#include "library/connection.h"
#include "library/track_record.h"
#include "maintenance/batch_path_list.h"
#include "probe/audio_library.h"
#include "probe/probe_context.h"

namespace vellum::bench {

// The audio-library table bound to the stand-in's functions (sim_bass).
const AudioLibrary& StandInAudio();
// A probe context on the stand-in, with no host cue interface.
ProbeContext StandInContext();

// 10,000 tagged media files, half WAV (RIFF INFO) and half FLAC (Vorbis
// comments), written on first use.
constexpr int kMediaFiles = 10000;
const std::vector<std::u16string>& MediaPaths();
// Every media path as a batch list, in the same order.
BatchPathList MediaBatch();

// The library of 100,000 rows: the 10,000 media files, registered through
// RegisterFile, and 90,000 rows shaped like them. Built on first use; the file
// is read-only afterwards, benchmarks that write take a copy.
constexpr int kLibraryRows = 100000;
const std::string& Library100kFile();
// A fresh copy of that library under `name`; returns its path.
std::string CopyLibrary(const std::string& name);
// Keys of the synthetic rows of the 100k library, in a shuffled order.
const std::vector<std::string>& Library100kKeys();

// The purge's library: 2,000 cue sheets of 20 tracks and 60,000 plain files,
// half of each missing on disk. Built on first use.
struct PurgeSet {
    std::string databaseFile;
    std::size_t rows = 0;
    std::size_t sheetRows = 0;
    std::size_t missingRows = 0;
};
const PurgeSet& PurgeLibrary();

// `count` further names for the media files (hard links, ten per file and more
// when needed), so that a batch of 100,000 distinct tracks needs no more data
// on disk than the 10,000 files. Built on first use.
std::vector<std::u16string> LinkedMediaPaths(std::size_t count);

// A connection on a database file with the plugin's schema; `synchronousOff`
// sets PRAGMA synchronous=OFF on this connection alone.
bool OpenLibrary(LibraryConnection& connection, const std::string& file, bool synchronousOff);
// Removes a database file and its journal.
void RemoveDatabase(const std::string& file);
// Runs one statement on a raw handle; aborts the run when it fails.
void MustExec(sqlite3* database, const char* sql);

// A library file of the benchmark's own, opened with PRAGMA synchronous=OFF
// (removed first if it exists).
void OpenScratchLibrary(LibraryConnection& connection, const std::string& file);

// What a batch of the media files meets: an empty table, or every media row
// already stored.
enum class MediaTable { Fresh, Refresh };
// Empties the table, or fills it with every media row (left as it is when it
// already holds them).
void PrepareMediaTable(LibraryConnection& connection, MediaTable table);

// A raw connection of the benchmark's own, for the SQLite floors; closed at
// scope end.
class RawDatabase {
public:
    RawDatabase(const std::string& file, int flags);
    ~RawDatabase();
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;
    sqlite3* get() const noexcept { return database_; }

private:
    sqlite3* database_ = nullptr;
};

// Probed records of the media files, taken once through the stand-in: the input
// of the SQL-only measurements.
const std::vector<RecordOwner>& ProbedMediaRecords();

}  // namespace vellum::bench
