// Owning holders of Win32 handles, registry keys, windows and GDI objects: closed exactly once, by
// whoever holds them last, with the same verbs as the other holders (get, reset, release, put).
#pragma once

#include <windows.h>

#include <utility>

namespace kestrel {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    // Takes ownership; the API's "no handle" value (INVALID_HANDLE_VALUE for files) is held as
    // none, so that every holder tests the same way.
    explicit UniqueHandle(Handle h) : h_(h == Traits::invalid() ? nullptr : h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

    void reset() {
        if (Handle h = std::exchange(h_, nullptr)) Traits::close(h);
    }
    Handle release() { return std::exchange(h_, nullptr); }
    // For functions that hand out a new handle through a pointer.
    Handle* put() {
        reset();
        return &h_;
    }

private:
    Handle h_ = nullptr;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Handle h) { CloseHandle(h); }
};

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle invalid() { return static_cast<HKEY>(INVALID_HANDLE_VALUE); }
    static void close(Handle h) { RegCloseKey(h); }
};

template <typename Object>
struct GdiObjectTraits {
    using Handle = Object;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DeleteObject(h); }
};

// A window of one's own. Its window procedure gives the holder's ownership up (release) when
// something else destroys the window, such as a parent destroyed with its children.
struct WindowTraits {
    using Handle = HWND;
    static Handle invalid() { return nullptr; }
    static void close(Handle h) { DestroyWindow(h); }
};

using Win32Handle = UniqueHandle<KernelHandleTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
// A font, brush or pen of one's own; never one that is selected into a device context.
template <typename Object>
using GdiObject = UniqueHandle<GdiObjectTraits<Object>>;

}  // namespace kestrel
