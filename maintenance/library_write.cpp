#include "maintenance/library_write.h"

namespace vellum {

WriteTransaction::WriteTransaction(sqlite3* database) noexcept : database_(database) {
    open_ = sqlite3_exec(database_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

WriteTransaction::~WriteTransaction() {
    if (open_) sqlite3_exec(database_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool WriteTransaction::Commit(int attempts) noexcept {
    if (!open_) return false;
    for (int i = 0; i < attempts; ++i) {
        // The busy handler waits for readers; SQLITE_BUSY after it keeps the
        // transaction open to try again.
        const int rc = sqlite3_exec(database_, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            open_ = false;
            return true;
        }
        if (rc != SQLITE_BUSY) break;
    }
    return false;
}

}  // namespace vellum
