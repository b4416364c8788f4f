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

// Traits of a handle whose empty value is null, released by `close`.
template <typename Handle, auto close>
struct NullEmptyTraits {
    using Value = Handle;
    static Value Empty() { return nullptr; }
    static void Close(Value v) { close(v); }
};
// Traits of a handle whose empty value is INVALID_HANDLE_VALUE (files, searches).
template <auto close>
struct InvalidEmptyTraits {
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value v) { close(v); }
};

using UniqueModule = UniqueHandle<NullEmptyTraits<HMODULE, FreeLibrary>>;
using UniqueKernelHandle = UniqueHandle<NullEmptyTraits<HANDLE, CloseHandle>>;
using UniqueFile = UniqueHandle<InvalidEmptyTraits<CloseHandle>>;
using UniqueFind = UniqueHandle<InvalidEmptyTraits<FindClose>>;
using UniqueHook = UniqueHandle<NullEmptyTraits<HHOOK, UnhookWindowsHookEx>>;
using UniqueMenu = UniqueHandle<NullEmptyTraits<HMENU, DestroyMenu>>;
using UniqueWindow = UniqueHandle<NullEmptyTraits<HWND, DestroyWindow>>;
using UniqueMemoryDc = UniqueHandle<NullEmptyTraits<HDC, DeleteDC>>;
using UniqueGdiObject = UniqueHandle<NullEmptyTraits<HGDIOBJ, DeleteObject>>;
using UniqueRegistryKey = UniqueHandle<NullEmptyTraits<HKEY, RegCloseKey>>;

}  // namespace win32
