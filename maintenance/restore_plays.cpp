#include "maintenance/restore_plays.h"

#include "maintenance/library_write.h"
#include "maintenance/own_database.h"
#include "platform/text.h"

namespace vellum {
namespace {

constexpr std::size_t kProgressEvery = 1000;

constexpr char kAllColumns[] =
    "file_name, file_title, file_ext, file_size, statDuration, statChannels, statSamplingrate, statBitrate, "
    "infoCodec_sub, rating, playcount, lastplayed, modify, tagTitle, tagArtist, tagAlbum, tagGenre, tagDate, "
    "tagComment, tagTracknumber, tagPerformer, tagCopyright, tagSubtitle, tagAlbumArtist, tagDiscNumber";
constexpr int kColumnCount = 25;

struct BackupRow {
    std::string name;    // as stored in the backup
    std::string lookup;  // the name it is looked up by in the library
    PlayFields play;
};

std::string TextColumn(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (text == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string LookupName(const std::string& name, const RestoreRequest& request) {
    if (!request.mapping || !platform::IsValidUtf8(name)) return name;
    const std::u16string path = platform::Utf8ToUtf16(name);
    const auto& [from, to] = *request.mapping;
    return from.Holds(path) ? platform::Utf16ToUtf8(from.MapTo(path, to)) : name;
}

bool ReadBackup(sqlite3* backup, const RestoreRequest& request, std::vector<BackupRow>& rows) {
    OwnStatement statement = PrepareOwn(
        backup, "SELECT file_name, playcount, lastplayed, rating FROM list WHERE file_name IS NOT NULL ORDER BY 1");
    if (!statement) return false;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        BackupRow row;
        row.name = TextColumn(statement.get(), 0);
        row.lookup = LookupName(row.name, request);
        row.play = PlayFields{sqlite3_column_int64(statement.get(), 1), sqlite3_column_int64(statement.get(), 2),
                              sqlite3_column_int64(statement.get(), 3)};
        rows.push_back(std::move(row));
    }
    return rc == SQLITE_DONE;
}

// The statements a restore runs on both files, compiled once.
class RestoreWriter {
public:
    RestoreWriter(sqlite3* library, sqlite3* backup)
        : read_(PrepareOwn(library, "SELECT playcount, lastplayed, rating FROM list WHERE file_name = ?1")),
          update_(PrepareOwn(library,
                             "UPDATE list SET playcount = ?2, lastplayed = ?3, rating = ?4 "
                             "WHERE file_name = ?1")),
          whole_(
              PrepareOwn(backup, (std::string("SELECT ") + kAllColumns + " FROM list WHERE file_name = ?1").c_str())),
          insert_(PrepareOwn(library, (std::string("INSERT INTO list(") + kAllColumns +
                                       ") VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19,"
                                       "?20,?21,?22,?23,?24,?25)")
                                          .c_str())) {}

    // Adding rows needs the other two; a backup of another shape fails there.
    bool Ready() const { return read_ && update_; }

    // The library's row for the name; false when there is none.
    bool Find(const std::string& name, PlayFields& fields) {
        sqlite3_stmt* read = read_.get();
        BindText(read, 1, name);
        const bool found = sqlite3_step(read) == SQLITE_ROW;
        if (found)
            fields =
                PlayFields{sqlite3_column_int64(read, 0), sqlite3_column_int64(read, 1), sqlite3_column_int64(read, 2)};
        sqlite3_reset(read);
        return found;
    }

    bool Update(const std::string& name, const PlayFields& fields) {
        sqlite3_stmt* update = update_.get();
        BindText(update, 1, name);
        sqlite3_bind_int64(update, 2, fields.playcount);
        sqlite3_bind_int64(update, 3, fields.lastplayed);
        sqlite3_bind_int64(update, 4, fields.rating);
        return Done(update);
    }

    // Copies the backup's whole row under the name it is looked up by.
    bool Add(const BackupRow& row) {
        if (!whole_ || !insert_) return false;
        sqlite3_stmt* whole = whole_.get();
        sqlite3_stmt* insert = insert_.get();
        BindText(whole, 1, row.name);
        bool added = false;
        if (sqlite3_step(whole) == SQLITE_ROW) {
            for (int column = 1; column < kColumnCount; ++column)
                sqlite3_bind_value(insert, column + 1, sqlite3_column_value(whole, column));
            BindText(insert, 1, row.lookup);
            added = Done(insert);
        }
        sqlite3_reset(whole);
        sqlite3_clear_bindings(insert);
        return added;
    }

private:
    static bool Done(sqlite3_stmt* statement) {
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        return rc == SQLITE_DONE;
    }

    OwnStatement read_, update_, whole_, insert_;
};

// The history a matched row ends with.
PlayFields Restored(const PlayFields& current, const PlayFields& saved) {
    PlayFields result;
    result.playcount = current.playcount >= saved.playcount ? current.playcount : saved.playcount;
    result.lastplayed = LaterTime(current.lastplayed, saved.lastplayed);
    result.rating = current.rating != 0 ? current.rating : saved.rating;
    return result;
}

bool Same(const PlayFields& a, const PlayFields& b) {
    return a.playcount == b.playcount && a.lastplayed == b.lastplayed && a.rating == b.rating;
}

// Judges one backup row and, when applying, writes it. False on an SQL failure.
bool RestoreRow(RestoreWriter& writer, const BackupRow& row, const RestoreRequest& request, RestoreReport& report) {
    PlayFields current;
    if (!writer.Find(row.lookup, current)) {
        report.unmatched.push_back(row.lookup);
        if (!request.addMissing) return true;
        ++report.added;
        return !request.apply || writer.Add(row);
    }
    const PlayFields result = Restored(current, row.play);
    if (Same(result, current)) {
        ++report.unchanged;
        return true;
    }
    ++report.updated;
    return !request.apply || writer.Update(row.lookup, result);
}

bool RestoreRows(sqlite3* library, sqlite3* backup, const std::vector<BackupRow>& rows, const RestoreRequest& request,
                 const WorkProgress& progress, RestoreReport& report) {
    RestoreWriter writer(library, backup);
    if (!writer.Ready()) return false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!RestoreRow(writer, rows[i], request, report)) return false;
        if (progress && (i + 1) % kProgressEvery == 0) progress(i + 1, rows.size());
    }
    if (progress) progress(rows.size(), rows.size());
    return true;
}

}  // namespace

RestoreReport RestorePlays(sqlite3* library, sqlite3* backup, const RestoreRequest& request,
                           const WorkProgress& progress) {
    RestoreReport report;
    std::vector<BackupRow> rows;
    if (!ReadBackup(backup, request, rows)) {
        report.outcome = LibraryWork::Failed;
        return report;
    }
    std::optional<WriteTransaction> transaction;
    if (request.apply) {
        transaction.emplace(library);
        if (!transaction->Open()) {
            report.outcome = LibraryWork::Busy;
            return report;
        }
    }
    if (!RestoreRows(library, backup, rows, request, progress, report)) report.outcome = LibraryWork::Failed;
    else if (transaction && report.WorkFound() && !transaction->Commit()) report.outcome = LibraryWork::Busy;
    return report;
}

}  // namespace vellum
