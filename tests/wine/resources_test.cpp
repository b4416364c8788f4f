// The module's resources as Windows reads them: menu 100 and dialog 102 with
// their Japanese texts in UTF-16, the version and the manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host_run.h"
#include "vellumdb.h"

namespace vellum::wine {
namespace {

class ModuleResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_.Reset(
            LoadLibraryExW((ArtifactFolder() + L"\\vellumdb.qpl").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_);
    }

    std::string Resource(LPCWSTR type, int id) {
        HRSRC found = FindResourceW(module_.Get(), MAKEINTRESOURCEW(id), type);
        if (found == nullptr) return std::string();
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_.Get(), found)));
        return std::string(data, SizeofResource(module_.Get(), found));
    }
    static std::string Utf16Bytes(const std::wstring& text) {
        return std::string(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t));
    }

    win32::UniqueModule module_;
};

std::wstring ItemText(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

TEST_F(ModuleResources, MenuHoldsTheThreeCommandsWithTheirJapaneseCaptions) {
    win32::UniqueMenu menu(LoadMenuW(module_.Get(), MAKEINTRESOURCEW(100)));
    ASSERT_TRUE(menu);
    EXPECT_EQ(ItemText(menu.Get(), 0), L"dummy");
    HMENU popup = GetSubMenu(menu.Get(), 0);
    ASSERT_EQ(GetMenuItemCount(popup), 4);
    EXPECT_EQ(GetMenuItemID(popup, 0), 61600u);
    EXPECT_EQ(ItemText(popup, 0), L"データベースに追加");
    EXPECT_EQ(GetMenuItemID(popup, 1), 61601u);
    EXPECT_EQ(ItemText(popup, 1), L"データベースから削除");
    EXPECT_EQ(GetMenuState(popup, 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(GetMenuItemID(popup, 3), 61602u);
    EXPECT_EQ(ItemText(popup, 3), L"リンク切れをデータベースから削除");
}

TEST_F(ModuleResources, DialogTemplateHasTheStylesFontAndControlsInOrder) {
    const std::string dialog = Resource(RT_DIALOG, 102);
    ASSERT_GE(dialog.size(), sizeof(DLGTEMPLATE));
    DLGTEMPLATE header;
    memcpy(&header, dialog.data(), sizeof header);
    EXPECT_EQ(header.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT |
                                               DS_FIXEDSYS | DS_3DLOOK));
    EXPECT_EQ(header.dwExtendedStyle, 0u);
    EXPECT_EQ(header.cdit, 4);
    EXPECT_EQ(header.cx, 210);
    EXPECT_EQ(header.cy, 75);
    const size_t cancel = dialog.find(Utf16Bytes(L"キャンセル"));
    // Class names are matched without regard to case; the compiler stores them upper-case.
    size_t progress = dialog.find(Utf16Bytes(L"MSCTLS_PROGRESS32"));
    if (progress == std::string::npos) progress = dialog.find(Utf16Bytes(L"msctls_progress32"));
    EXPECT_NE(dialog.find(Utf16Bytes(L"Dialog")), std::string::npos);
    EXPECT_NE(dialog.find(Utf16Bytes(L"Ms Shell Dlg")), std::string::npos);
    ASSERT_NE(cancel, std::string::npos);
    ASSERT_NE(progress, std::string::npos);
    EXPECT_LT(cancel, progress);
}

// File and product version MAJOR.MINOR.PATCH.0, the parts of the header's
// VELLUMDB_VERSION_NUMBER, which another plugin reads at run time.
TEST_F(ModuleResources, VersionIsTheHeadersVersionNumberWithoutAStringTable) {
    const std::string version = Resource(RT_VERSION, 1);
    ASSERT_FALSE(version.empty());
    EXPECT_EQ(version.find(Utf16Bytes(L"StringFileInfo")), std::string::npos);
    const size_t signature = version.find(std::string("\xBD\x04\xEF\xFE", 4));
    ASSERT_NE(signature, std::string::npos);
    VS_FIXEDFILEINFO info;
    memcpy(&info, version.data() + signature, sizeof info);
    const DWORD major = VELLUMDB_VERSION_NUMBER / 1000000, minor = VELLUMDB_VERSION_NUMBER / 1000 % 1000,
                patch = VELLUMDB_VERSION_NUMBER % 1000;
    EXPECT_EQ(info.dwFileVersionMS, major << 16 | minor);
    EXPECT_EQ(info.dwFileVersionLS, patch << 16);
    EXPECT_EQ(info.dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(info.dwProductVersionLS, patch << 16);
}

TEST_F(ModuleResources, ManifestAsksForTheCallersExecutionLevel) {
    const std::string manifest = Resource(RT_MANIFEST, 2);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
}

}  // namespace
}  // namespace vellum::wine
