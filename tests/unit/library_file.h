// A library file in a fresh folder, reached through a connection of the
// test's own, as the maintenance tools reach it.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "library/schema.h"
#include "maintenance/own_database.h"
#include "platform/text.h"
#include "temp_folder.h"

namespace vellum {

struct PlayRow {
    std::int64_t playcount = 0;
    std::int64_t lastplayed = 0;
    std::int64_t rating = 0;
};

class LibraryFile {
public:
    explicit LibraryFile(const std::string& name = "vellumdb.db") : path_(folder_.path() + "/" + name) {
        database_ = OpenOwnDatabase(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 10000);
        if (!database_) return;
        ExecOwn(database_.get(), kCreateTableSql);
        // The tests' own writes need not reach the disk.
        ExecOwn(database_.get(), "PRAGMA synchronous = OFF");
        insert_ = PrepareOwn(Get(),
                             "INSERT INTO list(file_name, file_title, playcount, lastplayed, rating) "
                             "VALUES(?1, ?2, ?3, ?4, ?5)");
    }

    sqlite3* Get() const { return database_.get(); }
    const std::string& Path() const { return path_; }
    std::u16string WidePath() const { return platform::Utf8ToUtf16(path_); }
    const std::string& Folder() const { return folder_.path(); }

    void Exec(const std::string& sql) const {
        ASSERT_EQ(ExecOwn(database_.get(), sql.c_str()), SQLITE_OK) << sql << ": " << sqlite3_errmsg(Get());
    }

    void Insert(const std::string& name, const PlayRow& play = {}, const std::string& title = "") const {
        sqlite3_stmt* insert = insert_.get();
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, title.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 3, play.playcount);
        sqlite3_bind_int64(insert, 4, play.lastplayed);
        sqlite3_bind_int64(insert, 5, play.rating);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE) << name;
        sqlite3_reset(insert);
    }

    // The row's play fields; false when there is no row of that name.
    bool Find(const std::string& name, PlayRow& row) const {
        OwnStatement read = PrepareOwn(Get(), "SELECT playcount, lastplayed, rating FROM list WHERE file_name = ?1");
        sqlite3_bind_text(read.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(read.get()) != SQLITE_ROW) return false;
        row = PlayRow{sqlite3_column_int64(read.get(), 0), sqlite3_column_int64(read.get(), 1),
                      sqlite3_column_int64(read.get(), 2)};
        return true;
    }

    std::string Text(const std::string& sql) const { return FirstText(Get(), sql.c_str()); }
    long long Count() const { return std::stoll(Text("SELECT count(*) FROM list")); }

private:
    TempFolder folder_;
    std::string path_;
    OwnDatabase database_;
    OwnStatement insert_;
};

}  // namespace vellum
