// Owning Win32 file handle: closed exactly once, by whoever holds it last.
#pragma once

#include <windows.h>

#include <utility>

namespace towerlink {

class Win32Handle {
public:
    Win32Handle() = default;
    explicit Win32Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;
    Win32Handle(Win32Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Win32Handle& operator=(Win32Handle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    ~Win32Handle() { reset(); }

    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset() {
        if (HANDLE h = std::exchange(h_, nullptr)) CloseHandle(h);
    }

private:
    HANDLE h_ = nullptr;
};

}  // namespace towerlink
