// Move-only owner of one Win32 handle; the traits name the empty value and the
// release call. Shared by the plugin, the stand-in host and the Wine tests.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

template <typename Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value value) : value_(value) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Value Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }

    Value Release() {
        Value value = value_;
        value_ = Traits::Empty();
        return value;
    }
    void Reset(Value value = Traits::Empty()) {
        if (value_ != Traits::Empty()) Traits::Close(value_);
        value_ = value;
    }

private:
    Value value_ = Traits::Empty();
};

struct ModuleTraits {
    using Value = HMODULE;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { FreeLibrary(v); }
};
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { CloseHandle(v); }
};
struct FileHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value v) { CloseHandle(v); }
};
struct FindHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value v) { FindClose(v); }
};
struct HookTraits {
    using Value = HHOOK;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { UnhookWindowsHookEx(v); }
};
struct MenuTraits {
    using Value = HMENU;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { DestroyMenu(v); }
};
struct WindowTraits {
    using Value = HWND;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { DestroyWindow(v); }
};
struct MemoryDcTraits {
    using Value = HDC;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { DeleteDC(v); }
};
struct RegistryKeyTraits {
    using Value = HKEY;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { RegCloseKey(v); }
};
struct GdiObjectTraits {
    using Value = HGDIOBJ;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { DeleteObject(v); }
};

using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueHook = UniqueHandle<HookTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;

}  // namespace win32
