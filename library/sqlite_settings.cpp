#include "library/sqlite_settings.h"

#include <sqlite3.h>

namespace vellum {

void ApplySqliteSettings() noexcept {
    // SQLITE_MISUSE when SQLite is already initialised: nothing changes then.
    static const int applied = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)applied;
}

}  // namespace vellum
