// Owning automation string.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace kestrel {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!b_ && !text.empty()) throw std::bad_alloc();
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(b_, other.b_);
        return *this;
    }
    ~Bstr() { reset(); }

    static Bstr adopt(BSTR b) {
        Bstr result;
        result.b_ = b;
        return result;
    }
    static Bstr copyOf(BSTR b) { return Bstr(view(b)); }

    BSTR get() const { return b_; }
    // An empty automation string may be a null BSTR; both read as "".
    std::wstring_view view() const { return view(b_); }
    std::wstring str() const { return std::wstring(view()); }
    static std::wstring_view view(BSTR b) {
        return b ? std::wstring_view(b, SysStringLen(b)) : L"";
    }

    void reset() {
        if (BSTR b = std::exchange(b_, nullptr)) SysFreeString(b);
    }
    BSTR release() { return std::exchange(b_, nullptr); }
    BSTR* put() {
        reset();
        return &b_;
    }
    // For [in, out] parameters: the callee may free and replace what is held.
    BSTR* inOut() { return &b_; }

private:
    BSTR b_ = nullptr;
};

}  // namespace kestrel
