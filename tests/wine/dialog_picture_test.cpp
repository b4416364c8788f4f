// A picture of the open progress dialog for the documentation: the stand-in
// host saves it as a bitmap, which ImageMagick turns into
// test-output/progress-dialog.png, drawn with Japanese fonts put into the Wine
// prefix.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host_run.h"

namespace vellum::wine {
namespace {

// Wine's path conversions hand out blocks of the process heap.
struct FreeHeapBlock {
    void operator()(void* block) const { HeapFree(GetProcessHeap(), 0, block); }
};

std::string UnixPath(const std::wstring& path) {
    typedef char*(__cdecl * ToUnixFn)(const wchar_t*);
    auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) return std::string();
    const std::unique_ptr<char, FreeHeapBlock> unix(toUnix(path.c_str()));
    return unix != nullptr ? std::string(unix.get()) : std::string();
}

std::wstring DosPath(const std::string& unixPath) {
    typedef wchar_t*(__cdecl * ToDosFn)(const char*);
    auto toDos = reinterpret_cast<ToDosFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos == nullptr) return std::wstring();
    const std::unique_ptr<wchar_t, FreeHeapBlock> dos(toDos(unixPath.c_str()));
    return dos != nullptr ? std::wstring(dos.get()) : std::wstring();
}

// Sets one value of a registry key, creating the key when it is missing.
void SetValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS) return;
    const win32::UniqueRegistryKey key(opened);
    RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

// The dialog's fonts (Tahoma under Wine, bold in the caption) have no Japanese
// glyphs. Windows falls back through font links; Wine's link for Tahoma names
// "MS UI Gothic" and it has none for the bold face. The IPA Gothic fonts are put
// in the prefix's Fonts folder and both links are made to lead to them.
void InstallJapaneseFonts() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const char* name : {"ipag.ttf", "ipagp.ttf"}) {
        const std::wstring from = DosPath(std::string("/usr/share/fonts/opentype/ipafont-gothic/") + name);
        const std::wstring to = std::wstring(windows) + L"\\Fonts\\" + Utf8ToWide(name);
        if (!from.empty() && !FileExists(to)) CopyFileW(from.c_str(), to.c_str(), TRUE);
    }
    const wchar_t face[] = L"IPAGothic";
    SetValue(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", L"MS UI Gothic", REG_SZ, face, sizeof face);
    const wchar_t link[] = L"ipag.ttf,IPAGothic\0";  // a list: two terminators
    SetValue(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
             L"Tahoma Bold", REG_MULTI_SZ, link, sizeof link);
}

// Starts a program of the machine Wine runs on. Wine gives no handle to wait
// on for such a process: callers wait for its result instead.
bool StartUnixProgram(const std::string& commandLine) {
    StartedProcess started;
    return StartProcess(Utf8ToWide(commandLine), started);
}

// True once `path` holds a complete PNG (its last chunk, IEND, written).
bool WaitForPng(const std::wstring& path, DWORD timeoutMs) {
    static const char kEnd[] = "IEND\xAE\x42\x60\x82";
    for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
        const win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        if (file) {
            char tail[8] = {};
            DWORD got = 0;
            SetFilePointer(file.Get(), -8, nullptr, FILE_END);
            ReadFile(file.Get(), tail, 8, &got, nullptr);
            if (got == 8 && std::string(tail, 8) == std::string(kEnd, 8)) return true;
        }
        Sleep(100);
    }
    return false;
}

TEST(PlaylistBatch, TheOpenProgressDialogIsSavedAsAPicture) {
    InstallJapaneseFonts();
    HostFolder folder;
    folder.Install();
    CreateDirectoryW((folder.Path() + L"\\音楽").c_str(), nullptr);
    std::string script;
    for (const wchar_t* name : {L"曲1.wav", L"曲2.wav", L"曲3.wav"}) {
        WriteWav(folder.Path() + L"\\音楽\\" + name, 1);
        script += "add %DIR%\\音楽\\" + WideToUtf8(name) + "\n";
    }
    const std::wstring bitmap = folder.Path() + L"\\dialog.bmp";
    HostLog log = folder.Run(script + "select all\ndialog screenshot-at 1 %DIR%\\dialog.bmp\ncommand 61600\n");
    ASSERT_EQ(log.Starting("dialog screenshot ").size(), 1u) << log.Text();
    ASSERT_TRUE(FileExists(bitmap));

    const std::wstring output = ArtifactFolder() + L"\\..\\test-output";
    CreateDirectoryW(output.c_str(), nullptr);
    const std::wstring picture = output + L"\\progress-dialog.png";
    DeleteFileW(picture.c_str());
    const std::string from = UnixPath(bitmap), to = UnixPath(picture);
    ASSERT_FALSE(from.empty() || to.empty()) << "needs Wine's path conversions";
    // Explicit formats: the "c:" in a Wine prefix path must not be read as one.
    ASSERT_TRUE(StartUnixProgram("/usr/bin/convert \"bmp:" + from + "\" \"png:" + to + "\""));
    EXPECT_TRUE(WaitForPng(picture, 60000)) << "ImageMagick convert made no picture of " << from << " at " << to;
    std::printf("progress dialog picture: %s\n", to.c_str());
}

}  // namespace
}  // namespace vellum::wine
