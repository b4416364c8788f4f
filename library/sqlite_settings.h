// Process-wide SQLite settings the plugin runs with.
#pragma once

namespace vellum {

// Applied once, before the first connection opens (LibraryConnection::Open,
// which the plugin runs at start-up before any other thread reaches SQLite):
// SQLite's memory statistics are turned off. With them on, every block SQLite
// allocates or frees (hundreds for each statement it compiles) passes through
// one process-wide mutex; the plugin never reads the statistics nor sets a
// heap limit. A SQLite that is already initialised keeps its settings.
void ApplySqliteSettings() noexcept;

}  // namespace vellum
