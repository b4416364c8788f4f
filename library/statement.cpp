#include "library/statement.h"

#include <sqlite3.h>

namespace vellum {

void CloseDatabase::operator()(sqlite3* database) const noexcept { sqlite3_close_v2(database); }

Statement::Statement(sqlite3* database, const char* sql) noexcept {
    if (database != nullptr) sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(statement_); }

}  // namespace vellum
