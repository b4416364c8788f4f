#include "maintenance/relink.h"

#include <optional>
#include <unordered_set>

#include "maintenance/library_write.h"
#include "maintenance/own_database.h"
#include "platform/text.h"

namespace vellum {
namespace {

constexpr std::size_t kProgressEvery = 1000;

std::string TextColumn(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (text == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// Every stored name, in key order; false when the table cannot be read.
bool ReadNames(sqlite3* database, std::vector<std::string>& names) {
    OwnStatement statement = PrepareOwn(database, "SELECT file_name FROM list WHERE file_name IS NOT NULL ORDER BY 1");
    if (!statement) return false;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) names.push_back(TextColumn(statement.get(), 0));
    return rc == SQLITE_DONE;
}

// The changes in order, each judged against the names present once the ones
// before it are made: two old rows that meet at one new path merge in turn.
std::vector<RelinkChange> Plan(const std::vector<std::string>& names, const FolderPrefix& from,
                               const FolderPrefix& to) {
    std::unordered_set<std::string> present(names.begin(), names.end());
    std::vector<RelinkChange> changes;
    for (const std::string& name : names) {
        if (!platform::IsValidUtf8(name)) continue;
        const std::u16string path = platform::Utf8ToUtf16(name);
        if (!from.Holds(path)) continue;
        std::string target = platform::Utf16ToUtf8(from.MapTo(path, to));
        if (target == name) continue;
        const bool merge = present.count(target) != 0;
        present.erase(name);
        present.insert(target);
        changes.push_back(RelinkChange{name, std::move(target), merge});
    }
    return changes;
}

// The statements a relink runs, compiled once.
class RelinkWriter {
public:
    explicit RelinkWriter(sqlite3* database)
        : rename_(PrepareOwn(database, "UPDATE list SET file_name = ?2 WHERE file_name = ?1")),
          read_(PrepareOwn(database, "SELECT playcount, lastplayed, rating FROM list WHERE file_name = ?1")),
          update_(PrepareOwn(database,
                             "UPDATE list SET playcount = ?2, lastplayed = ?3, rating = ?4 "
                             "WHERE file_name = ?1")),
          remove_(PrepareOwn(database, "DELETE FROM list WHERE file_name = ?1")) {}

    bool Ready() const { return rename_ && read_ && update_ && remove_; }

    bool Make(const RelinkChange& change) {
        if (!change.merge) return Run(rename_.get(), change.from, &change.to);
        PlayFields old, kept;
        if (!Read(change.from, old) || !Read(change.to, kept)) return false;
        sqlite3_stmt* update = update_.get();
        sqlite3_bind_int64(update, 2, AddedCounts(old.playcount, kept.playcount));
        sqlite3_bind_int64(update, 3, LaterTime(old.lastplayed, kept.lastplayed));
        sqlite3_bind_int64(update, 4, kept.rating != 0 ? kept.rating : old.rating);
        return Run(update, change.to, nullptr) && Run(remove_.get(), change.from, nullptr);
    }

private:
    static void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
        sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }

    static bool Run(sqlite3_stmt* statement, const std::string& key, const std::string* second) {
        BindText(statement, 1, key);
        if (second != nullptr) BindText(statement, 2, *second);
        const int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        return rc == SQLITE_DONE;
    }

    bool Read(const std::string& key, PlayFields& fields) {
        sqlite3_stmt* read = read_.get();
        BindText(read, 1, key);
        const bool found = sqlite3_step(read) == SQLITE_ROW;
        if (found) {
            fields.playcount = sqlite3_column_int64(read, 0);
            fields.lastplayed = sqlite3_column_int64(read, 1);
            fields.rating = sqlite3_column_int64(read, 2);
        }
        sqlite3_reset(read);
        return found;
    }

    OwnStatement rename_, read_, update_, remove_;
};

bool MakeChanges(sqlite3* database, const std::vector<RelinkChange>& changes, const WorkProgress& progress) {
    RelinkWriter writer(database);
    if (!writer.Ready()) return false;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (!writer.Make(changes[i])) return false;
        if (progress && (i + 1) % kProgressEvery == 0) progress(i + 1, changes.size());
    }
    if (progress) progress(changes.size(), changes.size());
    return true;
}

std::size_t CountMerges(const std::vector<RelinkChange>& changes) {
    std::size_t merges = 0;
    for (const RelinkChange& change : changes) merges += change.merge ? 1 : 0;
    return merges;
}

}  // namespace

RelinkReport Relink(sqlite3* database, const FolderPrefix& from, const FolderPrefix& to, bool apply,
                    const WorkProgress& progress) {
    RelinkReport report;
    // The plan is read inside the write transaction, so it is what gets written.
    std::optional<WriteTransaction> transaction;
    if (apply) transaction.emplace(database);
    if (apply && !transaction->Open()) {
        report.outcome = LibraryWork::Busy;
        return report;
    }
    std::vector<std::string> names;
    if (!ReadNames(database, names)) {
        report.outcome = LibraryWork::Failed;
        return report;
    }
    report.changes = Plan(names, from, to);
    report.merged = CountMerges(report.changes);
    if (!apply || report.changes.empty()) return report;
    if (!MakeChanges(database, report.changes, progress)) report.outcome = LibraryWork::Failed;
    else if (!transaction->Commit()) report.outcome = LibraryWork::Busy;
    return report;
}

}  // namespace vellum
