#pragma once

namespace vellum {

// The table statement, sent exactly as written. On every start after the first
// it fails because `list` exists, and that failure is the normal case.
extern const char kCreateTableSql[];

}  // namespace vellum
