// Every text vellumdb-tool prints, in English and in Japanese. A text may
// hold the places {1}, {2} and {3}, filled in order.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace vellum::tool {

enum class Language { English, Japanese };

enum class Message {
    Usage,
    BadArguments,
    NoCommand,
    UnknownCommand,
    UnknownOption,
    NeedsValue,
    WrongCount,
    NotForCommand,
    FromWithoutTo,
    EmptyFolder,
    NestedFolders,
    CannotOpenLibrary,
    LibraryDamaged,
    CannotOpenBackup,
    BackupDamaged,
    LibraryBusy,
    CheckLibrary,
    CheckIntegrityOk,
    CheckIntegrityProblem,
    CheckRows,
    CheckMissing,
    CheckOffline,
    CheckMissingRow,
    BackupWritten,
    BackupNotWritten,
    RelinkChange,
    RelinkMergeChange,
    RelinkNothing,
    RelinkWouldChange,
    RelinkChanged,
    RestoreUnmatched,
    RestoreWouldChange,
    RestoreChanged,
    RestoreWouldAdd,
    RestoreAdded,
    RestoreNothing,
    DryRunHint,
    ProgressChecking,
    ProgressCopying,
    ProgressRelinking,
    ProgressRestoring,
    ProgressLine,
};

// The message's text with its places filled.
std::u16string Text(Message message, Language language, std::initializer_list<std::u16string_view> values = {});

}  // namespace vellum::tool
