#include "library/rows.h"

#include <sqlite3.h>

#include <cstring>

#include "platform/text.h"

namespace vellum {
namespace {

// The value text of field `column`: its quoted UTF-8, or its number in "%d" form.
std::string ValueText(const TrackRecord& record, int column) {
    if (kColumns[column].kind == FieldKind::Text) return QuoteSqlText(TextField(record, column));
    return std::to_string(NumberField(record, column));
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
    if (utf8 == nullptr) return quoted;
    for (const char* p = utf8; *p != '\0'; ++p) {
        if (*p == '\'') quoted.push_back('\'');
        quoted.push_back(*p);
    }
    return quoted;
}

std::string BuildInsertStatement(const TrackRecord& record) {
    std::string sql = "INSERT INTO list values(";
    for (int column = 0; column < kColumnCount; ++column) {
        if (column > 0) sql += ',';
        sql += '\'';
        sql += ValueText(record, column);
        sql += '\'';
    }
    sql += ')';
    return sql;
}

std::string BuildUpdateStatement(const TrackRecord& record) {
    std::string sql = "UPDATE list SET ";
    for (int column = 1; column < kColumnCount; ++column) {
        sql += kColumns[column].name;
        sql += " = '";
        sql += ValueText(record, column);
        sql += column + 1 < kColumnCount ? "', " : "' ";
    }
    sql += "WHERE file_name = '";
    sql += QuoteSqlText(record.file_name);
    sql += "' ";
    return sql;
}

void InsertTrackRow(LibraryConnection& connection, const TrackRecord& record) {
    connection.Exec(BuildInsertStatement(record).c_str());
}

bool UpdateTrackRow(LibraryConnection& connection, const TrackRecord& record) {
    return connection.Exec(BuildUpdateStatement(record).c_str()) != SQLITE_ERROR;
}

TrackRecord* FindTrackRow(LibraryConnection& connection, const char* utf8Key) {
    const std::string sql = "SELECT * FROM list WHERE file_name = '" + QuoteSqlText(utf8Key) + "'";
    platform::ScopedLock hold(connection.Lock());
    Statement statement(connection.Handle(), sql.c_str());
    if (statement.get() == nullptr) return nullptr;
    sqlite3_reset(statement.get());
    if (sqlite3_step(statement.get()) != SQLITE_ROW) return nullptr;
    return ReadRow(statement.get());
}

void DeleteTrackRow(LibraryConnection& connection, std::u16string_view widePath) {
    const std::string sql =
        "DELETE FROM list WHERE file_name = '" + QuoteSqlText(platform::Utf16ToUtf8(widePath).c_str()) + "'";
    connection.Exec(sql.c_str());
}

}  // namespace vellum
