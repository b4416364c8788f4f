#include "library/rows.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include "library/statement.h"

namespace vellum {
namespace {

// Appends `utf8` with every single quote doubled (QuoteSqlText without the
// temporary string).
void AppendQuoted(std::string& out, const char* utf8) {
    if (utf8 == nullptr) return;
    for (const char* run = utf8;;) {
        const char* stop = run + std::strcspn(run, "'");
        out.append(run, static_cast<std::size_t>(stop - run));
        if (*stop == '\0') return;
        out.append("''", 2);
        run = stop + 1;
    }
}

// Appends the value text of field `column`: its quoted UTF-8, or its number in
// "%d" form (which quoting leaves as it is).
void AppendValueText(std::string& out, const TrackRecord& record, int column) {
    if (kColumns[column].kind == FieldKind::Text) return AppendQuoted(out, TextField(record, column));
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(NumberField(record, column)));
    out.append(digits, static_cast<std::size_t>(length));
}

// Room for a statement about the record: every text once, with slack for the
// column names, numbers and a few doubled quotes.
std::size_t StatementRoom(const TrackRecord& record) {
    std::size_t room = 640;
    for (int column = 0; column < kColumnCount; ++column)
        if (kColumns[column].kind == FieldKind::Text && TextField(record, column) != nullptr)
            room += std::strlen(TextField(record, column));
    return room;
}

// "<prefix>'<key, quoted>'": the lookup and the removal by key.
std::string KeyStatement(const char* prefix, const char* utf8Key, std::size_t keyBytes) {
    std::string sql;
    sql.reserve(std::strlen(prefix) + keyBytes + 8);
    sql += prefix;
    AppendQuoted(sql, utf8Key);
    sql += '\'';
    return sql;
}

// Copies column `column` of the current row into the record. A NULL text
// becomes empty text; false when a block cannot be had.
bool ReadColumn(sqlite3_stmt* statement, int column, TrackRecord& record) {
    if (kColumns[column].kind == FieldKind::Number) {
        NumberField(record, column) = sqlite3_column_int(statement, column);
        return true;
    }
    const unsigned char* text = sqlite3_column_text(statement, column);
    std::size_t length = text != nullptr ? static_cast<std::size_t>(sqlite3_column_bytes(statement, column)) : 0;
    char* copy = CopyText(reinterpret_cast<const char*>(text), length);
    TextField(record, column) = copy;
    return copy != nullptr;
}

// The positional reader relies on the table's columns. One created by another
// tool with fewer columns is read as far as it goes, the rest left empty.
TrackRecord* ReadRow(sqlite3_stmt* statement) {
    RecordOwner record(NewTrackRecord());
    if (!record) return nullptr;
    int available = sqlite3_column_count(statement);
    for (int column = 0; column < kColumnCount; ++column) {
        if (column < available) {
            if (!ReadColumn(statement, column, *record)) return nullptr;
        } else if (kColumns[column].kind == FieldKind::Text) {
            TextField(*record, column) = CopyText("", 0);
            if (TextField(*record, column) == nullptr) return nullptr;
        }
    }
    return record.Release();
}

}  // namespace

std::string QuoteSqlText(const char* utf8) {
    std::string quoted;
    AppendQuoted(quoted, utf8);
    return quoted;
}

std::string BuildInsertStatement(const TrackRecord& record) {
    std::string sql;
    sql.reserve(StatementRoom(record));
    sql += "INSERT INTO list values(";
    for (int column = 0; column < kColumnCount; ++column) {
        sql += column > 0 ? ",'" : "'";
        AppendValueText(sql, record, column);
        sql += '\'';
    }
    sql += ')';
    return sql;
}

std::string BuildUpdateStatement(const TrackRecord& record) {
    std::string sql;
    sql.reserve(StatementRoom(record) + (record.file_name != nullptr ? std::strlen(record.file_name) : 0));
    sql += "UPDATE list SET ";
    for (int column = 1; column < kColumnCount; ++column) {
        sql += kColumns[column].name;
        sql += " = '";
        AppendValueText(sql, record, column);
        sql += column + 1 < kColumnCount ? "', " : "' ";
    }
    sql += "WHERE file_name = '";
    AppendQuoted(sql, record.file_name);
    sql += "' ";
    return sql;
}

int LookupTrackRow(sqlite3* database, const char* utf8Key, RecordOwner& row) {
    row.Reset();
    const std::string sql =
        KeyStatement("SELECT * FROM list WHERE file_name = '", utf8Key, utf8Key != nullptr ? std::strlen(utf8Key) : 0);
    if (database == nullptr) return SQLITE_MISUSE;
    Statement statement(database, sql.c_str());
    if (statement.Get() == nullptr) return sqlite3_errcode(database);
    sqlite3_reset(statement.Get());
    const int rc = sqlite3_step(statement.Get());
    if (rc != SQLITE_ROW) return rc;
    row.Reset(ReadRow(statement.Get()));
    return row ? SQLITE_ROW : SQLITE_NOMEM;
}

std::string BuildDeleteStatement(const char* utf8Key) {
    return KeyStatement("DELETE FROM list WHERE file_name = '", utf8Key, utf8Key != nullptr ? std::strlen(utf8Key) : 0);
}

}  // namespace vellum
