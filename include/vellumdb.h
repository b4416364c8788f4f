/*
** vellumdb.h: the interface that the vellumdb media-library plugin offers to
** other plugins of the same host player.
**
** HOW TO OBTAIN IT
**   Send the registered window message VELLUMDB_MSG_GETINTERFACE
**   ("vellumdb_getinterface") to the host's main window through the host. The
**   plugin's message hook answers by storing the address of a
**   VellumLibraryInterface in the host message record's result field. The table
**   lives as long as the plugin module is loaded and never changes.
**
** WHICH VERSION
**   Send VELLUMDB_MSG_GETVERSION ("vellumdb_getversion") the same way: the hook
**   stores the loaded module's VELLUMDB_VERSION_NUMBER in the result field
**   (MAJOR * 1000000 + MINOR * 1000 + PATCH, so 1003000 for 1.3.0). A result
**   of 0 means that no vellumdb module answered: none is loaded, or it has not
**   yet had the host's initialise event. Both requests are answered from that
**   event on, so ask at your enable event or later.
**
** COMPATIBILITY
**   Within major version 1 the table keeps its thirteen slots, their order,
**   types and meaning, and it never grows: no slot is added to it. What a
**   minor version of major 1 may add is one of two kinds:
**     - a new registered window message, sent and answered the way the two
**       above are;
**     - a further table of functions, apart from this one, that begins with
**       its own size in bytes (a uint32_t) and is asked for by a registered
**       message of its own. Later minor versions may append slots to such a
**       table, never move or change one; read a slot only when the size
**       counts past its end.
**   This header names each addition together with the version that brings
**   it. To use one, send VELLUMDB_MSG_GETVERSION first: use this table only
**   when the result's major part (result / 1000000) is VELLUMDB_VERSION_MAJOR,
**   and send an addition's message only when the result is at least the
**   version that brings it. A smaller result, or 0, means the loaded module
**   does not have it: a message that no plugin answers leaves the result 0.
**
** TEXT
**   Track paths and every text of a record are zero-terminated UTF-8. The one
**   exception is GetDatabasePath, whose text is in the system ANSI code page.
**
** THREADS
**   Every function may be called from any thread. The plugin serialises its own
**   use of the database connection with one lock; a call waits for it, but never
**   for the host's window thread. Listeners are called on the host's window
**   thread.
**
** ANNOUNCEMENTS
**   Changes made through this table (AddFile, RemoveFile) are NOT announced: they
**   do not move GetLastChangeTick and send no VELLUMDB_MSG_NOTIFY. Changes made by
**   the plugin itself (playback, its menu commands) are announced with both.
**
** WHAT IS WRITTEN, AND WHEN
**   The plugin writes through a connection of its own, never through the raw
**   handle. Work it cannot write into the library at once (another program
**   holds the file, the disk is full, an I/O error, or your transaction is
**   open on the raw handle) is first appended to vellumdb-pending.db beside
**   the library and written within about 0.1 s of the library taking writes
**   again; what still waits when the player shuts down, is killed or crashes
**   is written at its next start. Each piece of work lands exactly once: the
**   library's PRAGMA user_version records the last piece it holds, in the
**   same commit. Leave user_version and vellumdb-pending.db alone.
**
** GROUPING MANY AddFile CALLS
**   Outside a transaction each AddFile and RemoveFile commits on its own, one
**   disk sync each, which is slow for many files. Group them on the raw
**   connection:
**
**       sqlite3_exec(lib->GetDatabaseHandle(), "BEGIN", 0, 0, 0);
**       for (...) lib->AddFile(path);
**       sqlite3_exec(lib->GetDatabaseHandle(), "COMMIT", 0, 0, 0);
**
**   While your transaction is open, the plugin's work (these calls, play
**   starts, end-of-play counts, its menu commands) waits in
**   vellumdb-pending.db and lands in one go right after your transaction
**   ends. GetRecord shows it at once; your own SQL sees it after your COMMIT.
**   The plugin commits a transaction you left open only when it shuts down.
**
** ROLLBACK
**   A ROLLBACK (or ROLLBACK TO) that you send undoes your own statements only,
**   never the plugin's work, AddFile and RemoveFile calls included. To undo an
**   AddFile, call RemoveFile.
**
** WHEN THE FILE IS BUSY
**   AddFile and RemoveFile never wait for another program's lock: their work
**   waits as above. GetRecord waits at most 1.5 s for a file that another
**   program holds exclusively, then returns null rather than a record it
**   could not read whole. The raw handle's busy handler waits up to 1.5 s for
**   each lock your statements meet; do not replace it (sqlite3_busy_timeout,
**   sqlite3_busy_handler): other plugins share the handle, and the plugin sets
**   it again for the COMMIT it sends at shut-down.
**
** This header compiles as C99 and as C++, and needs no other header first. A
** resource compiler reads only its version and message names (RC_INVOKED).
*/
#ifndef VELLUMDB_H
#define VELLUMDB_H

/* The version of this header and of the module built with it. */
#define VELLUMDB_VERSION_MAJOR  1
#define VELLUMDB_VERSION_MINOR  3
#define VELLUMDB_VERSION_PATCH  0
#define VELLUMDB_VERSION        "1.3.0"
#define VELLUMDB_VERSION_NUMBER 1003000

/* Names of the registered window messages (RegisterWindowMessage). The
** answers to the first two are set in the host message record's result:
** the table's address, and the module's VELLUMDB_VERSION_NUMBER. */
#define VELLUMDB_MSG_GETINTERFACE   "vellumdb_getinterface"
#define VELLUMDB_MSG_GETVERSION     "vellumdb_getversion"
#define VELLUMDB_MSG_NOTIFY         "vellumdb_notify"
#define VELLUMDB_MSG_GETINTERFACE_W L"vellumdb_getinterface"
#define VELLUMDB_MSG_GETVERSION_W   L"vellumdb_getversion"
#define VELLUMDB_MSG_NOTIFY_W       L"vellumdb_notify"

#ifndef RC_INVOKED

#include <stddef.h>
#include <stdint.h>

#if !defined(_WIN32) && !defined(__stdcall)
/* Builds of the portable core outside Windows have one calling convention. */
#define __stdcall
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct sqlite3;

/*
** The parameter types of a Win32 window procedure, declared here so that no
** Windows header is needed first. On Windows they are the very types of
** <windows.h>, so a listener written as
**     LRESULT CALLBACK f(HWND, UINT, WPARAM, LPARAM)
** is a VellumListener without a cast, in C and in C++: VellumWindow is HWND
** (as the Windows headers declare it with STRICT, their default; a program that
** defines NO_STRICT must do so before including this header), VellumWParam is
** WPARAM (UINT_PTR), VellumLParam is LPARAM and VellumLResult is LRESULT (both
** LONG_PTR). They are 32 bits on 32-bit Windows, where the host and its plugins
** run, and 64 bits on 64-bit Windows. Outside Windows (builds of the portable
** core) they are a plain pointer and pointer-sized integers.
*/
#if defined(_WIN32)
#if defined(NO_STRICT)
typedef void* VellumWindow;
#else
struct HWND__;
typedef struct HWND__* VellumWindow;
#endif
#if defined(_WIN64)
typedef unsigned long long VellumWParam;
typedef long long VellumLParam;
#else
typedef unsigned int VellumWParam;
typedef long VellumLParam;
#endif
#else
typedef void* VellumWindow;
typedef uintptr_t VellumWParam;
typedef intptr_t VellumLParam;
#endif
typedef VellumLParam VellumLResult;

/* One track of the library. Opaque: read it through the field getters. */
typedef struct VellumTrackRecord VellumTrackRecord;

/* Layout-compatible with the Win32 SYSTEMTIME. */
typedef struct VellumSystemTime {
    uint16_t wYear;
    uint16_t wMonth;     /* 1 to 12 */
    uint16_t wDayOfWeek; /* 0 is Sunday */
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds; /* always 0 from GetTimeField */
} VellumSystemTime;

/* Indexes for GetStringField. */
enum {
    VELLUMDB_STRING_FILE_NAME = 0,
    VELLUMDB_STRING_FILE_TITLE = 1,
    VELLUMDB_STRING_FILE_EXT = 2,
    VELLUMDB_STRING_CODEC = 3
};

/* Indexes for GetNumberField. */
enum {
    VELLUMDB_NUMBER_FILE_SIZE = 0,
    VELLUMDB_NUMBER_DURATION = 1, /* whole seconds */
    VELLUMDB_NUMBER_CHANNELS = 2,
    VELLUMDB_NUMBER_SAMPLINGRATE = 3, /* Hz */
    VELLUMDB_NUMBER_BITRATE = 4,      /* bits per second */
    VELLUMDB_NUMBER_RATING = 5,
    VELLUMDB_NUMBER_PLAYCOUNT = 6,
    VELLUMDB_NUMBER_LASTPLAYED = 7, /* seconds since 1970, 0 = never */
    VELLUMDB_NUMBER_MODIFY = 8
};

/* Indexes for GetTagField. */
enum {
    VELLUMDB_TAG_TITLE = 0,
    VELLUMDB_TAG_ARTIST = 1,
    VELLUMDB_TAG_ALBUM = 2,
    VELLUMDB_TAG_GENRE = 3,
    VELLUMDB_TAG_DATE = 4,
    VELLUMDB_TAG_COMMENT = 5,
    VELLUMDB_TAG_TRACKNUMBER = 6,
    VELLUMDB_TAG_PERFORMER = 7, /* the composer */
    VELLUMDB_TAG_COPYRIGHT = 8,
    VELLUMDB_TAG_SUBTITLE = 9,
    VELLUMDB_TAG_ALBUMARTIST = 10,
    VELLUMDB_TAG_DISCNUMBER = 11
};

/* Selectors for GetTimeField. */
enum { VELLUMDB_TIME_LASTPLAYED = 0, VELLUMDB_TIME_MODIFY = 1 };

/*
** A listener hears every message of the host's main window while the plugin is
** enabled, the plugin's own VELLUMDB_MSG_NOTIFY among them. It runs on the host's
** window thread; its result is ignored. It may add or remove listeners, itself
** included. Remove it before your module unloads.
**
** One message is handed to the listeners in one walk of the list, in list
** order. In one walk each listener function is called at most once, however
** the list changes meanwhile:
**   - a listener present when the walk starts and not removed before its turn
**     is called once;
**   - a listener added during the walk is called once, after the others;
**   - a listener removed and added again before its turn counts as present;
**   - a listener removed before its turn and not added again is not called.
** So RemoveListener(self) followed by AddListener(self) inside a listener is
** safe: it is not called again for the same message.
*/
typedef VellumLResult(__stdcall* VellumListener)(VellumWindow window, unsigned int message, VellumWParam wParam,
                                                 VellumLParam lParam);

/* The raw SQLite connection, or null once the plugin has shut down. The plugin
** owns it: never close it. */
typedef struct sqlite3*(__stdcall* VellumGetDatabaseHandleFn)(void);

/* The database file's path in the system ANSI code page, zero-terminated, at
** most 259 bytes, owned by the plugin. It is never cut and never holds a
** character that stands in for another: it is a text that the ANSI file
** functions (CreateFileA) resolve to the file the plugin opened. Plain ASCII is
** preferred, the long form first, then the short (8.3) form, because
** sqlite3_open reads its file name as UTF-8 and so reaches the file too; where
** the only exact form is not ASCII (an accented or Japanese folder on a volume
** without short names), it is that form, which sqlite3_open does not read.
** Empty when no form fits in 259 bytes in the ANSI code page: never hand an
** empty text to sqlite3_open, which makes a private temporary database of it;
** sqlite3_db_filename(GetDatabaseHandle(), "main") gives the file's UTF-8 path
** in every case. */
typedef const char*(__stdcall* VellumGetDatabasePathFn)(void);

/* The GetTickCount value of the plugin's last announced change. */
typedef uint32_t(__stdcall* VellumGetLastChangeTickFn)(void);

/* Adds a listener at the end of the list; a listener already there is not
** added twice. Returns 1. */
typedef int32_t(__stdcall* VellumAddListenerFn)(VellumListener listener);

/* Removes a listener; one that is not there changes nothing. Returns 1. */
typedef int32_t(__stdcall* VellumRemoveListenerFn)(VellumListener listener);

/* Probes the UTF-8 track path and inserts its row, or refreshes it keeping its
** rating, play count, last-played and modify times. Writes nothing for a track
** that cannot be opened, a null or empty path, a path longer than 519 UTF-16
** units (refused whole, never cut), or text that is not valid UTF-8 (it would
** be stored under another name). Returns a non-zero value that carries no
** meaning. Not announced. */
typedef int32_t(__stdcall* VellumAddFileFn)(const char* utf8Path);

/* Removes only the row whose path equals the text byte for byte, or nothing:
** the text is matched as given, with no conversion, so text that is not valid
** UTF-8 can match no other row. A null path, or one longer than 519 UTF-16
** units (refused whole, never cut), removes nothing. Returns a non-zero value
** that carries no meaning. Not announced. */
typedef int32_t(__stdcall* VellumRemoveFileFn)(const char* utf8Path);

/* Reads the row whose path equals the UTF-8 text byte for byte (letter case
** counts), with the plugin's waiting work shown as done. Returns a new record
** that the caller owns and must hand back to FreeRecord exactly once, or null
** when there is no such row, the path is null, or the row could not be read
** whole within 1.5 s (see WHEN THE FILE IS BUSY). */
typedef VellumTrackRecord*(__stdcall* VellumGetRecordFn)(const char* utf8Path);

/* Releases a record from GetRecord. Null is accepted and ignored. */
typedef void(__stdcall* VellumFreeRecordFn)(VellumTrackRecord* record);

/* A text of the record (VELLUMDB_STRING_*), or null for a null record or an
** index out of range. The text belongs to the record: valid until FreeRecord,
** never to be freed or changed by the caller. Never null for a valid index. */
typedef const char*(__stdcall* VellumGetStringFieldFn)(const VellumTrackRecord* record, int32_t index);

/* A number of the record (VELLUMDB_NUMBER_*), or 0 for a null record or an
** index out of range. */
typedef int32_t(__stdcall* VellumGetNumberFieldFn)(const VellumTrackRecord* record, int32_t index);

/* A tag text of the record (VELLUMDB_TAG_*); ownership as for GetStringField. */
typedef const char*(__stdcall* VellumGetTagFieldFn)(const VellumTrackRecord* record, int32_t index);

/* Fills *out with a time of the record (VELLUMDB_TIME_*) as local time and
** returns 1. Returns 0, leaving *out untouched, for a null record or out, an
** unknown selector, or a time that was never set (stored 0). */
typedef int32_t(__stdcall* VellumGetTimeFieldFn)(const VellumTrackRecord* record, int32_t selector,
                                                 VellumSystemTime* out);

/* The table, thirteen pointer-sized slots in this order; see COMPATIBILITY. */
typedef struct VellumLibraryInterface {
    VellumGetDatabaseHandleFn GetDatabaseHandle;
    VellumGetDatabasePathFn GetDatabasePath;
    VellumGetLastChangeTickFn GetLastChangeTick;
    VellumAddListenerFn AddListener;
    VellumRemoveListenerFn RemoveListener;
    VellumAddFileFn AddFile;
    VellumRemoveFileFn RemoveFile;
    VellumGetRecordFn GetRecord;
    VellumFreeRecordFn FreeRecord;
    VellumGetStringFieldFn GetStringField;
    VellumGetNumberFieldFn GetNumberField;
    VellumGetTagFieldFn GetTagField;
    VellumGetTimeFieldFn GetTimeField;
} VellumLibraryInterface;

#ifdef __cplusplus
}
#endif

/* Compile-time checks of the layouts above, made by every build that includes
** this header: a negative array size fails a C99 build, static_assert a C++
** one. Each slot of the table and each listener parameter is one pointer wide
** (4 bytes on the host's 32-bit Windows); VellumSystemTime is SYSTEMTIME's
** eight 16-bit fields. */
#ifdef __cplusplus
#define VELLUMDB_PIN(name, condition) static_assert(condition, #name)
#else
#define VELLUMDB_PIN(name, condition) typedef char vellumdb_pin_##name[(condition) ? 1 : -1]
#endif
VELLUMDB_PIN(interface_slots, sizeof(VellumLibraryInterface) == 13 * sizeof(void*));
VELLUMDB_PIN(interface_last_slot, offsetof(VellumLibraryInterface, GetTimeField) == 12 * sizeof(void*));
VELLUMDB_PIN(wparam_width, sizeof(VellumWParam) == sizeof(void*));
VELLUMDB_PIN(lparam_width, sizeof(VellumLParam) == sizeof(void*));
VELLUMDB_PIN(system_time_size, sizeof(VellumSystemTime) == 16);
VELLUMDB_PIN(system_time_month, offsetof(VellumSystemTime, wMonth) == 2);
VELLUMDB_PIN(system_time_day_of_week, offsetof(VellumSystemTime, wDayOfWeek) == 4);
VELLUMDB_PIN(system_time_day, offsetof(VellumSystemTime, wDay) == 6);
VELLUMDB_PIN(system_time_hour, offsetof(VellumSystemTime, wHour) == 8);
VELLUMDB_PIN(system_time_minute, offsetof(VellumSystemTime, wMinute) == 10);
VELLUMDB_PIN(system_time_second, offsetof(VellumSystemTime, wSecond) == 12);
VELLUMDB_PIN(system_time_milliseconds, offsetof(VellumSystemTime, wMilliseconds) == 14);
#undef VELLUMDB_PIN

#endif /* RC_INVOKED */

#endif /* VELLUMDB_H */
