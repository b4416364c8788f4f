// vellumdb-tool's commands, apart from the console they print to:
//   check                      integrity, row count, rows whose files are missing
//   backup [FILE]              a consistent copy now
//   relink OLD NEW             rows under a moved folder take the new path
//   restore-plays BACKUP       a backup's play history returns to the library
// The library is Plugins\vellumdb.db beside the tool, or the file --db names.
// The tool opens it like any other program, through connections of its own
// that wait a while for other programs' locks.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "maintenance/backup.h"
#include "maintenance/purge.h"
#include "tool/tool_messages.h"
#include "vellumdb.h"

namespace vellum::tool {

enum ExitCode : int {
    kDone = 0,  // done, or in a dry run: work found to do
    kNothingToDo = 1,
    kBadArguments = 2,
    kLibraryUnusable = 3,  // the library (or the backup read) cannot be opened, is damaged or stays locked
    kNotWritten = 4,       // a backup could not be written
};

// Where the tool's texts go.
class Console {
public:
    virtual ~Console() = default;
    // One message; it may hold line breaks.
    virtual void Line(std::u16string_view text) = 0;
    // The state of long work, each replacing the one before; an empty text
    // ends the display.
    virtual void Progress(std::u16string_view text) = 0;
};

struct Environment {
    Language language = Language::English;
    // The library used without --db.
    std::u16string defaultLibrary;
    // The local time now, naming backups made on request.
    std::function<VellumSystemTime()> now;
    // The file system as `check` sees it.
    ExistenceTester* files = nullptr;
    BackupSettings backup;
    // How long the tool's connections wait for other programs' locks.
    int busyTimeoutMs = 5000;
};

// `arguments` leaves out the program's name. Returns the exit code.
int RunTool(const std::vector<std::u16string>& arguments, const Environment& environment, Console& console);

}  // namespace vellum::tool
