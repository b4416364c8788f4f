#include "host_run.h"

#include <sqlite3.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vellum::wine {
namespace {

void CopyArtifact(const std::wstring& name, const std::wstring& to) {
    const std::wstring from = ArtifactFolder() + L"\\" + name;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + WideToUtf8(from));
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    win32::UniqueFind search(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (search) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search.Get(), &found));
    }
    RemoveDirectoryW(path.c_str());
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::istringstream stream(ReadBytes(path));
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void PutUint(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void WriteBytes(const std::wstring& path, const std::string& text) {
    win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) throw std::runtime_error("cannot write " + WideToUtf8(path));
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string ReadBytes(const std::wstring& path) {
    std::string text;
    win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    if (!file) return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

void WriteWav(const std::wstring& path, int seconds, int rate, int channels) {
    const uint32_t data = static_cast<uint32_t>(seconds * rate * channels * 2);
    std::string wav = "RIFF";
    PutUint(wav, 36 + data, 4);
    wav += "WAVEfmt ";
    PutUint(wav, 16, 4);
    PutUint(wav, 1, 2);
    PutUint(wav, static_cast<uint32_t>(channels), 2);
    PutUint(wav, static_cast<uint32_t>(rate), 4);
    PutUint(wav, static_cast<uint32_t>(rate * channels * 2), 4);
    PutUint(wav, static_cast<uint32_t>(channels * 2), 2);
    PutUint(wav, 16, 2);
    wav += "data";
    PutUint(wav, data, 4);
    wav.append(data, '\0');
    WriteBytes(path, wav);
}

std::wstring InstallExampleClient(HostFolder& folder, int seconds) {
    InstallOptions options;
    options.extraPlugins = {L"library_client.qpl"};
    folder.Install(options);
    const std::wstring track = folder.Path() + L"\\tone.wav";
    WriteWav(track, seconds);
    WriteBytes(folder.Plugins() + L"\\example_files.txt", WideToUtf8(track) + "\r\n");
    return track;
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string WideToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring ArtifactFolder() {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

bool HostLog::Has(const std::string& line) const {
    for (const std::string& candidate : lines)
        if (candidate == line) return true;
    return false;
}

std::vector<std::string> HostLog::Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

std::string HostLog::Text() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

HostFolder::HostFolder(const std::wstring& leaf) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root_ = std::wstring(temp) + L"vellumdb-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount());
    CreateDirectoryW(root_.c_str(), nullptr);
    path_ = root_;
    // Each level of a leaf such as L"a\\b\\c".
    for (std::wstring::size_type start = 0; start < leaf.size();) {
        std::wstring::size_type end = leaf.find(L'\\', start);
        if (end == std::wstring::npos) end = leaf.size();
        path_ += L"\\" + leaf.substr(start, end - start);
        CreateDirectoryW(path_.c_str(), nullptr);
        start = end + 1;
    }
}

HostFolder::~HostFolder() { RemoveTree(root_); }

void HostFolder::Install(const InstallOptions& options) {
    CreateDirectoryW(Plugins().c_str(), nullptr);
    CreateDirectoryW((Plugins() + L"\\bass").c_str(), nullptr);
    CopyArtifact(L"host.exe", path_ + L"\\host.exe");
    if (options.withBass) CopyArtifact(L"bass.dll", path_ + L"\\bass.dll");
    if (options.withTags) CopyArtifact(L"tags.dll", Plugins() + L"\\bass\\tags.dll");
    CopyArtifact(L"vellumdb.qpl", Plugins() + L"\\" + options.pluginName);
    for (const std::wstring& plugin : options.extraPlugins) CopyArtifact(plugin, Plugins() + L"\\" + plugin);
}

HostLog HostFolder::Run(const std::string& script, const std::wstring& arguments, DWORD timeoutMs) {
    const std::wstring scriptPath = path_ + L"\\script.txt";
    const std::wstring logPath = path_ + L"\\host.log";
    WriteBytes(scriptPath, script);
    DeleteFileW(logPath.c_str());
    std::wstring command =
        L"\"" + path_ + L"\\host.exe\" --log \"" + logPath + L"\" " + arguments + L" \"" + scriptPath + L"\"";
    StartedProcess host;
    if (!StartProcess(command, host, 0, path_.c_str())) throw std::runtime_error("cannot start host.exe");
    if (WaitForSingleObject(host.process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(host.process.Get(), 99);
        WaitForSingleObject(host.process.Get(), 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(host.process.Get(), &code);
    HostLog log;
    log.exitCode = static_cast<int>(code);
    log.lines = ReadLines(logPath);
    return log;
}

bool StartProcess(std::wstring command, StartedProcess& started, DWORD flags, const wchar_t* folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, folder, &startup, &process))
        return false;
    started.process.Reset(process.hProcess);
    started.thread.Reset(process.hThread);
    return true;
}

SqliteConnection OpenSqlite(const std::string& utf8Path, int flags) {
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &opened, flags, nullptr);
    // A failed open hands out a handle too, closed here.
    SqliteConnection connection(opened);
    if (rc != SQLITE_OK) connection.reset();
    return connection;
}

SqliteStatement Prepare(sqlite3* connection, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(connection, sql.c_str(), -1, &statement, nullptr);
    return SqliteStatement(statement);
}

std::vector<std::vector<std::string>> Query(const std::wstring& database, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    const SqliteConnection connection = OpenSqlite(WideToUtf8(database), SQLITE_OPEN_READONLY);
    if (!connection) throw std::runtime_error("cannot open " + WideToUtf8(database));
    const SqliteStatement statement = Prepare(connection.get(), sql);
    while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
            const unsigned char* text = sqlite3_column_text(statement.get(), i);
            row.push_back(text != nullptr ? reinterpret_cast<const char*>(text) : "NULL");
        }
        rows.push_back(row);
    }
    return rows;
}

std::string QueryValue(const std::wstring& database, const std::string& sql) {
    auto rows = Query(database, sql);
    return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace vellum::wine
