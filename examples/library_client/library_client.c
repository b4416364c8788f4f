/*
** library_client: an example host plugin that uses the vellumdb library.
**
** When the host window receives the registered message "vellumdb_example_run"
** it:
**   1. asks which vellumdb is loaded by sending "vellumdb_getversion" to the
**      host window, and goes on only with major version 1, whose table it
**      was written for;
**   2. obtains vellumdb's interface table by sending "vellumdb_getinterface"
**      (the answer is the table's address);
**   3. adds a listener that counts the host window's messages and notices
**      "vellumdb_notify";
**   4. adds every file named in example_files.txt (UTF-8, one path a line,
**      beside this plugin) with AddFile;
**   5. reads each file's record back field by field, and its two times as
**      local times;
**   6. removes its listener.
** It writes what it saw to example_report.txt beside itself.
*/
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "vellumdb.h"
#include "vellumdb_host.h"

static HMODULE g_module;
static UINT g_runMessage;
static UINT g_notifyMessage;
static long g_messagesHeard;
static long g_notificationsHeard;
static FILE* g_report;

/* Counts every host-window message the listener hears. */
static LRESULT CALLBACK Listener(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)window;
    (void)wParam;
    (void)lParam;
    ++g_messagesHeard;
    if (message == g_notifyMessage) ++g_notificationsHeard;
    return 0;
}

/* A file beside this plugin, as a wide path. */
static void BesidePlugin(const wchar_t* name, wchar_t* path, DWORD size) {
    DWORD length = GetModuleFileNameW(g_module, path, size);
    while (length > 0 && path[length - 1] != L'\\') --length;
    path[length] = L'\0';
    lstrcatW(path, name);
}

static void ReportTime(const VellumLibraryInterface* lib, const VellumTrackRecord* record, int32_t selector,
                       const char* name) {
    VellumSystemTime time;
    if (lib->GetTimeField(record, selector, &time))
        fprintf(g_report, "%s=%04u-%02u-%02u %02u:%02u:%02u\n", name, time.wYear, time.wMonth, time.wDay, time.wHour,
                time.wMinute, time.wSecond);
    else fprintf(g_report, "%s=never\n", name);
}

static void ReportRecord(const VellumLibraryInterface* lib, const char* path) {
    static const char* const strings[] = {"file_name", "file_title", "file_ext", "codec"};
    static const char* const numbers[] = {"file_size", "duration",  "channels",   "samplingrate", "bitrate",
                                          "rating",    "playcount", "lastplayed", "modify"};
    static const char* const tags[] = {"title",     "artist",   "album",       "genre",
                                       "date",      "comment",  "tracknumber", "performer",
                                       "copyright", "subtitle", "albumartist", "discnumber"};
    VellumTrackRecord* record = lib->GetRecord(path);
    int32_t i;
    if (record == NULL) {
        fprintf(g_report, "record %s: none\n", path);
        return;
    }
    fprintf(g_report, "record %s\n", path);
    for (i = 0; i < 4; ++i) fprintf(g_report, "%s=%s\n", strings[i], lib->GetStringField(record, i));
    for (i = 0; i < 9; ++i) fprintf(g_report, "%s=%ld\n", numbers[i], (long)lib->GetNumberField(record, i));
    for (i = 0; i < 12; ++i) fprintf(g_report, "%s=%s\n", tags[i], lib->GetTagField(record, i));
    ReportTime(lib, record, VELLUMDB_TIME_LASTPLAYED, "lastplayed_local");
    ReportTime(lib, record, VELLUMDB_TIME_MODIFY, "modify_local");
    lib->FreeRecord(record);
}

static void AddListedFiles(const VellumLibraryInterface* lib) {
    wchar_t listPath[MAX_PATH];
    char line[2048];
    FILE* list;
    BesidePlugin(L"example_files.txt", listPath, MAX_PATH);
    list = _wfopen(listPath, L"rb");
    if (list == NULL) return;
    while (fgets(line, sizeof line, list) != NULL) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == '\0') continue;
        lib->AddFile(line);
        ReportRecord(lib, line);
    }
    fclose(list);
}

/* The table's work, once the version is known to fit. */
static void UseLibrary(HWND host, const VellumLibraryInterface* lib) {
    uint32_t tick;
    if (lib == NULL) {
        fprintf(g_report, "no vellumdb interface\n");
        return;
    }
    tick = lib->GetLastChangeTick();
    fprintf(g_report, "database=%s\n", lib->GetDatabasePath());
    lib->AddListener(Listener);
    AddListedFiles(lib);
    /* Any message of the host window reaches the listener. AddFile itself
    ** is not announced, so no "vellumdb_notify" is heard for it. */
    SendMessageW(host, WM_NULL, 0, 0);
    lib->RemoveListener(Listener);
    fprintf(g_report, "tick_unchanged=%d\n", lib->GetLastChangeTick() == tick);
    fprintf(g_report, "listener_heard=%ld notifications=%ld\n", g_messagesHeard, g_notificationsHeard);
}

static void RunExample(HWND host) {
    wchar_t reportPath[MAX_PATH];
    /* 0 when no vellumdb answers. */
    const long version = (long)SendMessageW(host, RegisterWindowMessageW(VELLUMDB_MSG_GETVERSION_W), 0, 0);
    BesidePlugin(L"example_report.txt", reportPath, MAX_PATH);
    g_report = _wfopen(reportPath, L"wb");
    if (g_report == NULL) return;
    fprintf(g_report, "version=%ld\n", version);
    if (version / 1000000 != VELLUMDB_VERSION_MAJOR) {
        fprintf(g_report, "no vellumdb of major version %d\n", VELLUMDB_VERSION_MAJOR);
    } else {
        UseLibrary(host, (const VellumLibraryInterface*)SendMessageW(
                             host, RegisterWindowMessageW(VELLUMDB_MSG_GETINTERFACE_W), 0, 0));
    }
    fclose(g_report);
    g_report = NULL;
}

static int32_t __stdcall Hook(HostMessage* message) {
    if (g_runMessage != 0 && message->message == g_runMessage) {
        RunExample(message->window);
        message->result = 1;
        return 1;
    }
    return 0;
}

static int32_t __stdcall EventProc(HWND host, int32_t event) {
    (void)host;
    if (event == HOST_EVENT_INITIALISE) {
        g_runMessage = RegisterWindowMessageW(L"vellumdb_example_run");
        g_notifyMessage = RegisterWindowMessageW(VELLUMDB_MSG_NOTIFY_W);
    }
    return 1;
}

static HostPluginDescriptor g_descriptor = {0, Hook, EventProc, {0}};

__declspec(noinline) void* __stdcall GetGPluginInfo(void) { return &g_descriptor; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}
